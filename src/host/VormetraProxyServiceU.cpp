// The service module's events.
#include "host/VormetraProxyServiceU.h"

#include "host/ServiceControl.h"
#include "platform/CodePage.h"
#include "proxy/ForwardWords.h"
#include "proxy/ProxySettings.h"

namespace vp {

TVormetraProxyService::TVormetraProxyService(std::uint16_t port)
    : TService(kServiceName, kServiceDisplayName), port_(port) {}

TVormetraProxyService::~TVormetraProxyService() = default;

void TVormetraProxyService::ServiceStart(bool&) {
  FServer = std::make_unique<TProxyServer>(port_);
  FServer->Log().SetListener(
      [this](const ForwardRecord& record, int failures) { WatchForwards(record, failures); });
  try {
    FServer->SetActive(true);
  } catch (...) {
    // The service is about to be reported stopped; a server kept until the module goes would
    // only hold its settings and threads for nothing.
    FServer.reset();
    throw;
  }
  LogMessage("Service started");
}

void TVormetraProxyService::ServiceStop(bool&) {
  FServer.reset();
  LogMessage("Service end");
}

void TVormetraProxyService::WatchForwards(const ForwardRecord& record, int failures_in_a_row) {
  LogActivity(FormatForwardRecord(record));
  switch (streak_.Observe(failures_in_a_row, record.time)) {
    case StreakChange::kStarted:
      return LogMessage(platform::AnsiFromUtf8(ForwardsFailingText(record)),
                        platform::EventType::kError);
    case StreakChange::kEnded:
      return LogMessage(platform::AnsiFromUtf8(kMsgForwardsWorkAgain));
    case StreakChange::kNone:
      return;
  }
}

void TVormetraProxyService::ServiceAfterInstall() {
  SetServiceDescription();
  StartProxyService();
}

// A running service serves: the file's Active is the tray's own switch (often saved false before
// the service was installed), so the reload takes every other setting and keeps the listener on.
bool TVormetraProxyService::HandleCustomControl(std::uint32_t code) {
  if (code != ControlReloadSettings || !FServer) return true;
  FServer->Settings().Load();
  FServer->SetActive(true);
  LogMessage("Settings reloaded");
  return false;
}

}  // namespace vp
