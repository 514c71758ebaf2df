// Keeping and offering client sessions.
#include "tls/SslSessionCache.h"

#include <algorithm>

namespace vp {

std::vector<SslSessionCache::Entry>::iterator SslSessionCache::Find(const std::string& key) {
  return std::find_if(entries_.begin(), entries_.end(),
                      [&key](const Entry& entry) { return entry.key == key; });
}

void SslSessionCache::Offer(TlsIOHandler& connection, const std::string& key) {
  const SslLibrary& lib = connection.context().library();
  std::lock_guard<std::mutex> lock(mutex_);
  auto entry = Find(key);
  if (entry == entries_.end()) return;
  // A session of a library loaded earlier (tests load others) is no object of this one.
  if (entry->session.library().get() != &lib) return;
  // The connection takes its own reference.
  lib.fn().SSL_set_session(connection.connection(), entry->session.get());
  lib.ClearErrors();
}

void SslSessionCache::Keep(TlsIOHandler& connection, const std::string& key) {
  const std::shared_ptr<const SslLibrary>& library = connection.context().shared_library();
  const SslFunctions& fn = library->fn();
  SslOwned<openssl::SSL_SESSION> session(library, fn.SSL_get1_session(connection.connection()));
  // A peer that keeps no sessions and gives no ticket (its hello carried an empty session ID)
  // could not resume it; offering it would only make the hello longer.
  if (session && fn.SSL_SESSION_is_resumable(session.get()) != 1) session.reset();
  std::lock_guard<std::mutex> lock(mutex_);
  auto entry = Find(key);
  if (entry != entries_.end()) entries_.erase(entry);
  if (!session) return;
  if (entries_.size() >= kMaxClientSessions) entries_.erase(entries_.begin());
  entries_.push_back(Entry{key, std::move(session)});
}

void SslSessionCache::Clear() {
  std::vector<Entry> gone;
  std::lock_guard<std::mutex> lock(mutex_);
  gone.swap(entries_);
}

std::size_t SslSessionCache::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace vp
