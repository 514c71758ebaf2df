// Keeping, checking and handing out upstream connections.
#include "http/UpstreamPool.h"

#include <algorithm>
#include <chrono>

namespace vp {

std::unique_ptr<UpstreamConnection> UpstreamPool::Take(const std::string& key) {
  // Closing a TLS connection sends its close_notify, so connections go outside the lock.
  std::vector<std::unique_ptr<UpstreamConnection>> dropped;
  for (;;) {
    std::unique_ptr<UpstreamConnection> found;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto stale_before = WatchClock::now() - std::chrono::milliseconds(idle_ms_);
      for (auto it = idle_.begin(); it != idle_.end();) {
        if ((*it)->idle_since > stale_before) {
          ++it;
          continue;
        }
        dropped.push_back(std::move(*it));
        it = idle_.erase(it);
      }
      auto newest = std::find_if(idle_.rbegin(), idle_.rend(),
                                 [&key](const auto& connection) { return connection->key == key; });
      if (newest == idle_.rend()) return nullptr;
      found = std::move(*newest);
      idle_.erase(std::next(newest).base());
    }
    // An idle connection has nothing to say; anything it has is its end (a close, a reset, a
    // close_notify) or bytes we cannot place.
    if (!found->io->WaitReadable(0)) return found;
    dropped.push_back(std::move(found));
  }
}

void UpstreamPool::Put(std::unique_ptr<UpstreamConnection> connection) {
  std::unique_ptr<UpstreamConnection> dropped;
  connection->idle_since = WatchClock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  if (idle_.size() >= kMaxIdleConnections) {
    dropped = std::move(idle_.front());
    idle_.erase(idle_.begin());
  }
  idle_.push_back(std::move(connection));
}

void UpstreamPool::Clear() {
  sessions_.Clear();
  std::vector<std::unique_ptr<UpstreamConnection>> dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  dropped.swap(idle_);
}

std::size_t UpstreamPool::IdleCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return idle_.size();
}

}  // namespace vp
