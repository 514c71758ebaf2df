#include "support/FakeServiceManager.h"

#include <chrono>

namespace vp::test {
namespace {

using platform::ServiceFailure;
using platform::ServiceState;

ServiceFailure Fail(int code) { return {code, FakeErrorText(code)}; }

class FakeHandle : public platform::ServiceHandle {
 public:
  FakeHandle(FakeServiceManager& manager, std::string name)
      : manager_(manager), name_(std::move(name)) {}
  ServiceFailure QueryStatus(platform::ServiceStatus& status) override {
    return manager_.Query(name_, status);
  }
  ServiceFailure Start() override { return manager_.Start(name_); }
  ServiceFailure Control(std::uint32_t code, platform::ServiceStatus& status) override {
    return manager_.Control(name_, code, status);
  }
  ServiceFailure SetDescription(const std::string& text) override {
    return manager_.Describe(name_, text);
  }
  ServiceFailure Delete() override { return manager_.Delete(name_); }

 private:
  FakeServiceManager& manager_;
  std::string name_;
};

class FakeManagerHandle : public platform::ServiceManagerHandle {
 public:
  explicit FakeManagerHandle(FakeServiceManager& manager) : manager_(manager) {}
  std::unique_ptr<platform::ServiceHandle> Open(const std::string& name, std::uint32_t,
                                                ServiceFailure& failure) override {
    failure = manager_.OpenExisting(name);
    if (failure.failed()) return nullptr;
    return std::make_unique<FakeHandle>(manager_, name);
  }
  std::unique_ptr<platform::ServiceHandle> Create(const platform::ServiceRegistration& registration,
                                                  ServiceFailure& failure) override {
    failure = manager_.Create(registration);
    if (failure.failed()) return nullptr;
    return std::make_unique<FakeHandle>(manager_, registration.name);
  }

 private:
  FakeServiceManager& manager_;
};

}  // namespace

std::string FakeErrorText(int code) {
  switch (code) {
    case platform::kErrorAccessDenied:
      return "Access is denied.";
    case 1053:
      return "The service did not respond to the start or control request in a timely fashion.";
    case platform::kErrorServiceAlreadyRunning:
      return "An instance of the service is already running.";
    case platform::kErrorServiceDoesNotExist:
      return "The specified service does not exist as an installed service.";
    case platform::kErrorServiceNotActive:
      return "The service has not been started.";
    case platform::kErrorServiceExists:
      return "The specified service already exists.";
    case platform::kErrorFailedServiceControllerConnect:
      return "The service process could not connect to the service controller.";
    default:
      return "Error " + std::to_string(code);
  }
}

FakeServiceManager::FakeServiceManager() { platform::SetServiceManagerForTesting(this); }

FakeServiceManager::~FakeServiceManager() { platform::SetServiceManagerForTesting(nullptr); }

void FakeServiceManager::SetRights(bool all_access) {
  std::lock_guard<std::mutex> lock(mutex_);
  rights_ = all_access;
}

void FakeServiceManager::AddService(const std::string& name, ServiceState state) {
  std::lock_guard<std::mutex> lock(mutex_);
  services_[name].registration.name = name;
  services_[name].state = state;
}

void FakeServiceManager::SetStartPhase(int pending_queries, ServiceState then) {
  std::lock_guard<std::mutex> lock(mutex_);
  start_pending_queries_ = pending_queries;
  start_result_ = then;
}

void FakeServiceManager::SetStopPhase(int pending_queries) {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_pending_queries_ = pending_queries;
}

void FakeServiceManager::FailNextStart(int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  next_start_error_ = code;
}

void FakeServiceManager::FailQueries(int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  query_error_ = code;
}

void FakeServiceManager::FailDispatcher(int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  dispatcher_error_ = code;
}

bool FakeServiceManager::Exists(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return services_.count(name) != 0;
}

ServiceState FakeServiceManager::StateOf(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = services_.find(name);
  return found == services_.end() ? ServiceState::kStopped : found->second.state;
}

std::string FakeServiceManager::DescriptionOf(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = services_.find(name);
  return found == services_.end() ? std::string() : found->second.description;
}

platform::ServiceRegistration FakeServiceManager::RegistrationOf(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = services_.find(name);
  return found == services_.end() ? platform::ServiceRegistration{} : found->second.registration;
}

std::string FakeServiceManager::EventSourceFile(const std::string& source) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = registered_sources_.find(source);
  return found == registered_sources_.end() ? std::string() : found->second;
}

std::vector<std::string> FakeServiceManager::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<platform::ServiceStatus> FakeServiceManager::reports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_;
}

std::vector<std::string> FakeServiceManager::events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::vector<std::string> FakeServiceManager::event_sources() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return event_sources_;
}

bool FakeServiceManager::WaitForReports(std::size_t count) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return reported_.wait_for(lock, std::chrono::seconds(10),
                            [&] { return reports_.size() >= count; });
}

std::string FakeServiceManager::registered_name() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registered_name_;
}

void FakeServiceManager::SendControl(std::uint32_t code) {
  platform::ServiceControlCall handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    handler = handler_;
  }
  if (handler) handler(code);
}

std::unique_ptr<platform::ServiceManagerHandle> FakeServiceManager::OpenManager(
    platform::ManagerAccess access, ServiceFailure& failure) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (access == platform::ManagerAccess::kAllAccess && !rights_) {
    failure = Fail(platform::kErrorAccessDenied);
    return nullptr;
  }
  return std::make_unique<FakeManagerHandle>(*this);
}

ServiceFailure FakeServiceManager::RunDispatcher(const std::string& service_name,
                                                 platform::ServiceMainCall main) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (dispatcher_error_ != 0) return Fail(dispatcher_error_);
  }
  main(service_name);
  return {};
}

ServiceFailure FakeServiceManager::RegisterControlHandler(const std::string& service_name,
                                                          platform::ServiceControlCall handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  registered_name_ = service_name;
  handler_ = std::move(handler);
  return {};
}

ServiceFailure FakeServiceManager::ReportStatus(const platform::ServiceStatus& status) {
  std::lock_guard<std::mutex> lock(mutex_);
  reports_.push_back(status);
  reported_.notify_all();
  return {};
}

void FakeServiceManager::WriteEvent(const std::string& source, platform::EventType type,
                                    const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back((type == platform::EventType::kError ? "error: " : "information: ") + text);
  event_sources_.push_back(source);
}

ServiceFailure FakeServiceManager::AddEventSource(const std::string& source,
                                                  const std::string& message_file) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back("add source");
  registered_sources_[source] = message_file;
  return {};
}

ServiceFailure FakeServiceManager::RemoveEventSource(const std::string& source) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back("remove source");
  registered_sources_.erase(source);
  return {};
}

ServiceFailure FakeServiceManager::OpenExisting(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  return services_.count(name) != 0 ? ServiceFailure{} : Fail(platform::kErrorServiceDoesNotExist);
}

ServiceFailure FakeServiceManager::Create(const platform::ServiceRegistration& registration) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back("create");
  if (services_.count(registration.name) != 0) return Fail(platform::kErrorServiceExists);
  services_[registration.name].registration = registration;
  return {};
}

ServiceFailure FakeServiceManager::Start(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back("start");
  Service& service = services_[name];
  if (next_start_error_ != 0) {
    int code = next_start_error_;
    next_start_error_ = 0;
    return Fail(code);
  }
  if (service.state != ServiceState::kStopped) return Fail(platform::kErrorServiceAlreadyRunning);
  service.state = ServiceState::kStartPending;
  service.pending_queries = start_pending_queries_;
  return {};
}

ServiceFailure FakeServiceManager::Query(const std::string& name, platform::ServiceStatus& status) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back("query");
  if (query_error_ != 0) return Fail(query_error_);
  Service& service = services_[name];
  bool pending =
      service.state == ServiceState::kStartPending || service.state == ServiceState::kStopPending;
  if (pending && service.pending_queries-- <= 0)
    service.state =
        service.state == ServiceState::kStartPending ? start_result_ : ServiceState::kStopped;
  status = platform::ServiceStatus{};
  status.state = service.state;
  status.wait_hint_ms = 1;
  return {};
}

ServiceFailure FakeServiceManager::Control(const std::string& name, std::uint32_t code,
                                           platform::ServiceStatus& status) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back("control " + std::to_string(code));
  Service& service = services_[name];
  if (service.state != ServiceState::kRunning) return Fail(platform::kErrorServiceNotActive);
  if (code == platform::kControlStop) {
    service.state = ServiceState::kStopPending;
    service.pending_queries = stop_pending_queries_;
  }
  status.state = service.state;
  return {};
}

ServiceFailure FakeServiceManager::Describe(const std::string& name, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back("describe");
  services_[name].description = text;
  return {};
}

ServiceFailure FakeServiceManager::Delete(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back("delete");
  return services_.erase(name) != 0 ? ServiceFailure{} : Fail(platform::kErrorServiceDoesNotExist);
}

}  // namespace vp::test
