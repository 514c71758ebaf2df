// The operating system's service manager, as the service-control operations and the service host
// use it: open, query, start, control, create and delete a service from outside, and, inside the
// service's own process, the dispatcher, the control handler, status reports and the event log.
// Windows: the service control manager and the application event log (advapi32). Elsewhere:
// systemd, through a unit file and systemctl; the event log is standard error, which the journal
// keeps.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vp::platform {

// States, controls and rights carry the numbers Windows gives them, so that the Windows half
// passes them through unchanged.
enum class ServiceState : std::uint32_t {
  kStopped = 1,
  kStartPending = 2,
  kStopPending = 3,
  kRunning = 4,
  kContinuePending = 5,
  kPausePending = 6,
  kPaused = 7,
};

inline constexpr std::uint32_t kControlStop = 1;
inline constexpr std::uint32_t kControlPause = 2;
inline constexpr std::uint32_t kControlContinue = 3;
inline constexpr std::uint32_t kControlInterrogate = 4;
inline constexpr std::uint32_t kControlShutdown = 5;

inline constexpr std::uint32_t kAcceptStop = 0x1;
inline constexpr std::uint32_t kAcceptPauseContinue = 0x2;
inline constexpr std::uint32_t kAcceptShutdown = 0x4;

// Rights asked for when a service is opened.
inline constexpr std::uint32_t kServiceChangeConfig = 0x0002;
inline constexpr std::uint32_t kServiceQueryStatus = 0x0004;
inline constexpr std::uint32_t kServiceStart = 0x0010;
inline constexpr std::uint32_t kServiceStop = 0x0020;
inline constexpr std::uint32_t kServiceUserDefinedControl = 0x0100;
inline constexpr std::uint32_t kStandardRightsRequired = 0xF0000;
inline constexpr std::uint32_t kServiceAllAccess = 0xF01FF;

// The error numbers that callers tell apart (Windows' own numbers on every platform).
inline constexpr int kErrorAccessDenied = 5;
inline constexpr int kErrorInvalidName = 123;
inline constexpr int kErrorInvalidServiceControl = 1052;
inline constexpr int kErrorServiceAlreadyRunning = 1056;
inline constexpr int kErrorServiceDoesNotExist = 1060;
inline constexpr int kErrorServiceNotActive = 1062;
inline constexpr int kErrorFailedServiceControllerConnect = 1063;
inline constexpr int kErrorServiceSpecific = 1066;  // systemctl failed; the text is its own
inline constexpr int kErrorServiceExists = 1073;

struct ServiceStatus {
  ServiceState state = ServiceState::kStopped;
  std::uint32_t controls_accepted = 0;
  std::uint32_t wait_hint_ms = 0;
  std::uint32_t checkpoint = 0;
};

// The outcome of one call: code 0 is success; otherwise the system's error number and its text
// (ANSI), which is what a user sees.
struct ServiceFailure {
  int code = 0;
  std::string text;
  bool failed() const { return code != 0; }
};

// What a new service is registered with: a service in its own process, started automatically,
// normal error control, under the local system account, without dependencies.
struct ServiceRegistration {
  std::string name;
  std::string display_name;
  std::string executable_path;  // run with no arguments
};

enum class ManagerAccess { kConnect, kAllAccess };
enum class EventType { kInformation, kError };

// One open service; closed when destroyed.
class ServiceHandle {
 public:
  virtual ~ServiceHandle() = default;
  virtual ServiceFailure QueryStatus(ServiceStatus& status) = 0;
  // Starts the service without arguments; kErrorServiceAlreadyRunning when it runs already.
  virtual ServiceFailure Start() = 0;
  // Sends a control code; status is the service's status right after. kErrorServiceNotActive
  // when the service is not running.
  virtual ServiceFailure Control(std::uint32_t code, ServiceStatus& status) = 0;
  virtual ServiceFailure SetDescription(const std::string& text) = 0;
  // Removes the registration (Windows only marks a running service for deletion).
  virtual ServiceFailure Delete() = 0;
};

// One open connection to the service manager; closed when destroyed.
class ServiceManagerHandle {
 public:
  virtual ~ServiceManagerHandle() = default;
  // Null, with the failure filled in, when the service cannot be opened with those rights.
  virtual std::unique_ptr<ServiceHandle> Open(const std::string& name, std::uint32_t rights,
                                              ServiceFailure& failure) = 0;
  // Registers a new service, opened with all access; null, with the failure filled in
  // (kErrorServiceExists among others), when it cannot.
  virtual std::unique_ptr<ServiceHandle> Create(const ServiceRegistration& registration,
                                                ServiceFailure& failure) = 0;
};

// Called by the dispatcher for a service of the process, on the dispatcher's own thread; returns
// when that service has stopped.
using ServiceMainCall = std::function<void(const std::string& service_name)>;
// Called for every control code the manager sends the service, on a thread of the manager's.
using ServiceControlCall = std::function<void(std::uint32_t code)>;

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;

  // Null, with the failure filled in, when the manager refuses the access.
  virtual std::unique_ptr<ServiceManagerHandle> OpenManager(ManagerAccess access,
                                                            ServiceFailure& failure) = 0;

  // Inside the service process. Connects to the manager and runs main for the one service
  // named; blocks until the service has stopped. Fails at once when the process was not started
  // by the manager (kErrorFailedServiceControllerConnect).
  virtual ServiceFailure RunDispatcher(const std::string& service_name, ServiceMainCall main) = 0;
  // From the service main: where the service's control codes go from now on.
  virtual ServiceFailure RegisterControlHandler(const std::string& service_name,
                                                ServiceControlCall handler) = 0;
  virtual ServiceFailure ReportStatus(const ServiceStatus& status) = 0;
  // One entry in the application event log under source, category 0, with the message of its
  // type from the program's message table; the text is that message's one insert.
  virtual void WriteEvent(const std::string& source, EventType type, const std::string& text) = 0;
  // One line of the service's running activity (a forward's record). The journal keeps such lines
  // and a console shows them; Windows' event log is no place for an entry per receipt, so there
  // it goes nowhere (the proxy's own log file has it).
  virtual void WriteActivity(const std::string& line) { (void)line; }
  // Registers source with the event log: the message file that resolves the entries' messages
  // (the program itself) and the types it writes. Without it a viewer shows only that the
  // description cannot be found. Nothing to do where the log keeps the text itself (the journal).
  virtual ServiceFailure AddEventSource(const std::string& source,
                                        const std::string& message_file) = 0;
  // Removes that registration; one that is not there is no failure.
  virtual ServiceFailure RemoveEventSource(const std::string& source) = 0;
};

// The text a viewer shows for an entry of that type whose insert is text, resolved from the
// message table of message_file as Windows' event viewer does; empty when it cannot be. Elsewhere
// the text itself.
std::string EventTextForTesting(const std::string& message_file, EventType type,
                                const std::string& text);

// The manager in force: the system's own unless a test has put a double in its place.
ServiceManager& CurrentServiceManager();
// Tests put an in-memory double in place of the system's manager; nullptr restores it.
void SetServiceManagerForTesting(ServiceManager* manager);

// systemd only: tests point the unit folder (/etc/systemd/system), the systemctl command and the
// folder of the units that packages install (/lib/systemd/system) at a temp dir and a script of
// their own; empty texts restore the real ones. Ignored on Windows.
void SetSystemdForTesting(const std::string& unit_folder, const std::string& systemctl,
                          const std::string& package_unit_folder = "");

}  // namespace vp::platform
