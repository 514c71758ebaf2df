// The proxy as a service: while the service runs it owns one proxy server, and on the control
// code 128 it reads the settings file again and applies it.
#pragma once

#include <cstdint>
#include <memory>

#include "host/Service.h"
#include "proxy/FailureStreak.h"
#include "proxy/ProxyServer.h"

namespace vp {

// The lowest user-defined control code; the only custom code the service acts on.
inline constexpr std::uint32_t ControlReloadSettings = 128;
// The least time between two event-log entries about failing forwards: a flapping line to the
// authority must not flood the log.
inline constexpr std::int64_t kSecondsBetweenStreakEntries = 10 * 60;

class TVormetraProxyService : public TService {
 public:
  // Tests let the proxy listen on a port of the system's choosing (0).
  explicit TVormetraProxyService(std::uint16_t port = kProxyPort);
  ~TVormetraProxyService() override;

  // Creates the proxy server (which loads and applies the settings file), switches it on
  // whatever the file says, and logs "Service started". A start error leaves the server absent.
  // Every forward's record then goes to the activity log, and the start and the end of a
  // streak of failed forwards to the event log.
  void ServiceStart(bool& started) override;
  // Frees the proxy server, then logs "Service end".
  void ServiceStop(bool& stopped) override;
  // Sets the description and starts the service; an error of the start undoes the installation.
  void ServiceAfterInstall() override;
  // 128: reloads the settings file into the server's settings, applies them with the listener on
  // whatever the file's Active says, logs "Settings reloaded" and answers false; a failed apply
  // throws, and the service stops. Any other code: true, and nothing happens.
  bool HandleCustomControl(std::uint32_t code) override;

  // The proxy server while the service runs; null before the start and after the stop.
  TProxyServer* Server() const { return FServer.get(); }

 private:
  void WatchForwards(const ForwardRecord& record, int failures_in_a_row);

  std::uint16_t port_;
  FailureStreak streak_{kSecondsBetweenStreakEntries};  // the forward log's lock guards it
  std::unique_ptr<TProxyServer> FServer;
};

}  // namespace vp
