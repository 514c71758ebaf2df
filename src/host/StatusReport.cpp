// Gathering the status and printing it.
#include "host/StatusReport.h"

#include <atomic>

#include "base/Error.h"
#include "host/ServiceControl.h"
#include "platform/Console.h"
#include "platform/Socket.h"
#include "proxy/ForwardLog.h"
#include "proxy/ProxySettings.h"

namespace vp {
namespace {

constexpr std::size_t kRecordsShown = 20;
constexpr int kConnectTimeoutMs = 1000;

bool SomethingListens(unsigned port) {
  std::atomic<bool> never{false};
  try {
    platform::Socket::ConnectTcp("127.0.0.1", static_cast<std::uint16_t>(port), kConnectTimeoutMs,
                                 never);
    return true;
  } catch (const Error&) {
    return false;
  }
}

}  // namespace

std::string FormatStatus(const ProxyStatus& status, unsigned port) {
  std::string port_text = std::to_string(port);
  std::string text;
  if (!status.listening)
    text = "Na portu " + port_text + " ne sluša nijedan proxy.\n";
  else if (status.service_running)
    text = "Na portu " + port_text + " sluša servis Vormetra Proxyja.\n";
  else
    text = "Na portu " + port_text + " sluša program (Vormetra Proxy bez servisa, ili drugi).\n";
  text += "Način rada: " + std::to_string(status.mode) + "\n";
  text += "Test: " + status.url_test + " (IP " + status.ip_test + ")\n";
  text += "Produkcija: " + status.url_production + " (IP " + status.ip_production + ")\n";
  if (status.records.empty()) return text + "Nema zapisa o prosljeđivanjima.\n";
  text += "Zadnja prosljeđivanja (" + std::to_string(status.records.size()) + "):\n";
  for (const std::string& line : status.records) text += line + "\n";
  return text;
}

int RunStatus(unsigned port) {
  platform::UseParentConsole();
  TProxySettings settings;
  ProxyStatus status;
  status.listening = SomethingListens(port);
  status.service_running = IsServiceRunning();
  status.mode = settings.Mode.load();
  status.url_test = settings.URLTest.get();
  status.url_production = settings.URLProduction.get();
  status.ip_test = settings.IPTest.get();
  status.ip_production = settings.IPProduction.get();
  status.records = LastForwardLines(ForwardLog::DefaultFolder(), kRecordsShown);
  platform::PrintOutput(FormatStatus(status, port));
  return status.listening ? 0 : 1;
}

}  // namespace vp
