// The socket watch on Windows: an I/O completion port, and on each watched socket a zero-byte
// overlapped receive, which completes when data, the peer's end or an error arrives, and takes no
// byte. The system writes into a receive's OVERLAPPED until its completion has been taken from
// the port, so each lives until then, even when its socket was dropped and closed long before.
#include "platform/SocketWatch.h"

#include <chrono>
#include <mutex>
#include <unordered_map>

#include "platform/win32/Handles.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

// Completions taken from the port in one call; more wait for the next.
constexpr ULONG kEntriesPerWait = 256;
// How long the watch, as it goes, waits for the receives that closing their sockets cancelled.
constexpr auto kCancelledReturnTime = std::chrono::seconds(5);

struct Pending {
  OVERLAPPED overlapped{};  // first: the completion hands back its address
  std::uintptr_t key = 0;
  bool dropped = false;  // guarded; dropped before its completion came
};

SOCKET S(const Socket& socket) { return static_cast<SOCKET>(socket.native()); }

}  // namespace

struct SocketWatch::Native {
  UniqueKernelHandle port;
  std::mutex mutex;
  // Every receive not yet taken from the port, and of those the ones still watched, by key.
  std::unordered_map<Pending*, std::unique_ptr<Pending>> pending;  // guarded
  std::unordered_map<std::uintptr_t, Pending*> watched;            // guarded

  // Under the lock: the key a completion reports, or 0 for none (dropped, or not ours).
  std::uintptr_t TakeLocked(OVERLAPPED* overlapped) {
    auto it = pending.find(reinterpret_cast<Pending*>(overlapped));
    if (it == pending.end()) return 0;
    std::uintptr_t key = it->second->dropped ? 0 : it->second->key;
    if (key != 0) watched.erase(key);
    pending.erase(it);
    return key;
  }
};

SocketWatch::SocketWatch() : native_(std::make_unique<Native>()) {
  native_->port.reset(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  if (!native_->port) ThrowSocketError("CreateIoCompletionPort", static_cast<int>(GetLastError()));
}

SocketWatch::~SocketWatch() {
  const auto until = std::chrono::steady_clock::now() + kCancelledReturnTime;
  std::unique_lock<std::mutex> lock(native_->mutex);
  while (!native_->pending.empty()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    lock.unlock();
    OVERLAPPED_ENTRY entries[kEntriesPerWait];
    ULONG count = 0;
    BOOL taken = ::GetQueuedCompletionStatusEx(native_->port.get(), entries, kEntriesPerWait,
                                               &count, static_cast<DWORD>(left.count()), FALSE);
    lock.lock();
    for (ULONG i = 0; taken && i < count; ++i) native_->TakeLocked(entries[i].lpOverlapped);
  }
  // One the system never gave back may still be written to: its memory is left to it.
  for (auto& entry : native_->pending) entry.second.release();
}

void SocketWatch::Add(const Socket& socket, std::uintptr_t key) {
  // A socket joins one port for good.
  if (!::CreateIoCompletionPort(reinterpret_cast<HANDLE>(S(socket)), native_->port.get(), 0, 0))
    ThrowSocketError("CreateIoCompletionPort", static_cast<int>(GetLastError()));
  auto owned = std::make_unique<Pending>();
  owned->key = key;
  Pending* pending = owned.get();
  {
    std::lock_guard<std::mutex> lock(native_->mutex);
    native_->pending.emplace(pending, std::move(owned));
    native_->watched[key] = pending;
  }
  WSABUF nothing{0, nullptr};
  DWORD flags = 0;
  // Done at once or pending, its completion comes through the port either way.
  if (::WSARecv(S(socket), &nothing, 1, nullptr, &flags, &pending->overlapped, nullptr) == 0)
    return;
  int error = WSAGetLastError();
  if (error == WSA_IO_PENDING) return;
  // Failed at once (the peer has gone already): no completion comes, so one is posted, and the
  // socket is reported like any other; its reader then meets the error itself.
  if (::PostQueuedCompletionStatus(native_->port.get(), 0, 0, &pending->overlapped)) return;
  std::lock_guard<std::mutex> lock(native_->mutex);
  native_->TakeLocked(&pending->overlapped);
  ThrowSocketError("WSARecv", error);
}

void SocketWatch::Drop(const Socket& socket, std::uintptr_t key) {
  std::lock_guard<std::mutex> lock(native_->mutex);
  auto it = native_->watched.find(key);
  if (it == native_->watched.end()) return;
  it->second->dropped = true;
  ::CancelIoEx(reinterpret_cast<HANDLE>(S(socket)), &it->second->overlapped);
  native_->watched.erase(it);
}

std::vector<std::uintptr_t> SocketWatch::Wait(int timeout_ms) {
  OVERLAPPED_ENTRY entries[kEntriesPerWait];
  ULONG count = 0;
  if (!::GetQueuedCompletionStatusEx(native_->port.get(), entries, kEntriesPerWait, &count,
                                     static_cast<DWORD>(timeout_ms), FALSE)) {
    DWORD error = GetLastError();
    if (error == WAIT_TIMEOUT) return {};
    ThrowSocketError("GetQueuedCompletionStatusEx", static_cast<int>(error));
  }
  std::vector<std::uintptr_t> ready;
  std::lock_guard<std::mutex> lock(native_->mutex);
  for (ULONG i = 0; i < count; ++i) {
    if (!entries[i].lpOverlapped) continue;  // a wake
    if (std::uintptr_t key = native_->TakeLocked(entries[i].lpOverlapped)) ready.push_back(key);
  }
  return ready;
}

void SocketWatch::Wake() { ::PostQueuedCompletionStatus(native_->port.get(), 0, 0, nullptr); }

}  // namespace vp::platform
