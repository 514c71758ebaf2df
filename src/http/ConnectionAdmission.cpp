// The listener's count of open connections by where they come from.
#include "http/ConnectionAdmission.h"

#include <utility>

namespace vp {

bool IsLoopbackAddress(const std::string& address) {
  return address.starts_with("127.") || address == "::1";
}

ConnectionAdmission::Ticket ConnectionAdmission::Admit(const std::string& address,
                                                       const AdmissionLimits& limits) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_ >= limits.open) return {};
  if (IsLoopbackAddress(address)) {
    ++open_;
    return Ticket(this, "");
  }
  if (remote_ >= limits.remote) return {};
  auto it = per_address_.find(address);
  if ((it == per_address_.end() ? 0 : it->second) >= limits.per_remote_address) return {};
  ++per_address_[address];
  ++remote_;
  ++open_;
  return Ticket(this, address);
}

ConnectionAdmission::Ticket::~Ticket() { Release(); }

ConnectionAdmission::Ticket::Ticket(Ticket&& other) noexcept
    : admission_(std::exchange(other.admission_, nullptr)), remote_(std::move(other.remote_)) {}

ConnectionAdmission::Ticket& ConnectionAdmission::Ticket::operator=(Ticket&& other) noexcept {
  if (this != &other) {
    Release();
    admission_ = std::exchange(other.admission_, nullptr);
    remote_ = std::move(other.remote_);
  }
  return *this;
}

void ConnectionAdmission::Ticket::Release() {
  if (!admission_) return;
  ConnectionAdmission& admission = *std::exchange(admission_, nullptr);
  std::lock_guard<std::mutex> lock(admission.mutex_);
  --admission.open_;
  if (remote_.empty()) return;
  --admission.remote_;
  auto it = admission.per_address_.find(remote_);
  if (--it->second == 0) admission.per_address_.erase(it);
}

}  // namespace vp
