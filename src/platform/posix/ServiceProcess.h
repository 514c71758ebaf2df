// The inside of a service process under systemd: signals in the role of control codes,
// readiness and state reports through the notification socket, and event-log entries as lines
// on standard error with their syslog priority, which the journal keeps.
#pragma once

#include <string>

#include "platform/ServiceManager.h"

namespace vp::platform::service_process {

// systemd gives every service it starts an INVOCATION_ID.
bool StartedBySystemd();
// Runs main for the service and stops the signal watch when it returns.
void Run(const std::string& service_name, const ServiceMainCall& main);
// From now until Run returns: SIGTERM and SIGINT arrive at handler as the stop control, SIGHUP
// (the unit's reload) as code 128. The handler runs on a thread of its own. False when the watch
// cannot be set up (errno says why).
bool WatchSignals(ServiceControlCall handler);
// Tells systemd the state: READY=1 once running (the unit is of type notify), STOPPING=1 once a
// stop is under way, and a status line for each. Nothing when there is no notification socket.
void NotifyState(ServiceState state);
// Each line of text on standard error with the priority prefix "<n>", as UTF-8.
void WriteJournalLines(int priority, const std::string& text);

}  // namespace vp::platform::service_process
