// The Windows service control manager and application event log (advapi32, ANSI calls: all text
// is in the ANSI code page).
#include "platform/ServiceManager.h"

#include <map>
#include <mutex>
#include <utility>

#include "EventMessages.h"
#include "platform/ServiceManagerNative.h"
#include "platform/win32/Handles.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

// Where the event log looks up a source of the application log.
constexpr const char* kEventSourcesKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
// The types the service writes, as the viewer's filter offers them.
constexpr DWORD kEventTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_INFORMATION_TYPE;

ServiceFailure FailureOf(DWORD error) { return {static_cast<int>(error), SystemErrorText(error)}; }

// The message table (EventMessages.mc) holds one message per type, an insert and nothing else.
DWORD EventId(EventType type) {
  return type == EventType::kError ? VP_EVENT_ERROR : VP_EVENT_INFORMATION;
}

ServiceFailure SetRegistryValue(HKEY key, const char* name, DWORD kind, const void* data,
                                DWORD size) {
  LONG result = RegSetValueExA(key, name, 0, kind, static_cast<const BYTE*>(data), size);
  return result == ERROR_SUCCESS ? ServiceFailure{} : FailureOf(static_cast<DWORD>(result));
}

ServiceFailure LastFailure() { return FailureOf(GetLastError()); }

void CopyStatus(const SERVICE_STATUS& from, ServiceStatus& to) {
  to.state = static_cast<ServiceState>(from.dwCurrentState);
  to.controls_accepted = from.dwControlsAccepted;
  to.wait_hint_ms = from.dwWaitHint;
  to.checkpoint = from.dwCheckPoint;
}

// The manager splits an unquoted path at its first space when looking for the program, so that
// "C:\Program Files\x.exe" could start "C:\Program.exe"; quoted, the path is taken whole.
std::string QuotedImagePath(const std::string& path) {
  if (path.find(' ') == std::string::npos || path.front() == '"') return path;
  return "\"" + path + "\"";
}

class ScService : public ServiceHandle {
 public:
  explicit ScService(UniqueServiceHandle handle) : handle_(std::move(handle)) {}

  ServiceFailure QueryStatus(ServiceStatus& status) override {
    SERVICE_STATUS raw = {};
    if (!QueryServiceStatus(handle_.get(), &raw)) return LastFailure();
    CopyStatus(raw, status);
    return {};
  }

  ServiceFailure Start() override {
    if (!StartServiceA(handle_.get(), 0, nullptr)) return LastFailure();
    return {};
  }

  ServiceFailure Control(std::uint32_t code, ServiceStatus& status) override {
    SERVICE_STATUS raw = {};
    BOOL done = ControlService(handle_.get(), code, &raw);
    DWORD error = GetLastError();
    CopyStatus(raw, status);
    return done ? ServiceFailure{} : FailureOf(error);
  }

  ServiceFailure SetDescription(const std::string& text) override {
    SERVICE_DESCRIPTIONA description = {const_cast<char*>(text.c_str())};
    if (!ChangeServiceConfig2A(handle_.get(), SERVICE_CONFIG_DESCRIPTION, &description))
      return LastFailure();
    return {};
  }

  ServiceFailure Delete() override {
    if (!DeleteService(handle_.get())) return LastFailure();
    return {};
  }

 private:
  UniqueServiceHandle handle_;
};

class ScManager : public ServiceManagerHandle {
 public:
  explicit ScManager(UniqueServiceHandle handle) : handle_(std::move(handle)) {}

  std::unique_ptr<ServiceHandle> Open(const std::string& name, std::uint32_t rights,
                                      ServiceFailure& failure) override {
    UniqueServiceHandle service(OpenServiceA(handle_.get(), name.c_str(), rights));
    if (!service) {
      failure = LastFailure();
      return nullptr;
    }
    return std::make_unique<ScService>(std::move(service));
  }

  std::unique_ptr<ServiceHandle> Create(const ServiceRegistration& registration,
                                        ServiceFailure& failure) override {
    std::string path = QuotedImagePath(registration.executable_path);
    UniqueServiceHandle service(CreateServiceA(
        handle_.get(), registration.name.c_str(), registration.display_name.c_str(),
        SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
        path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
      failure = LastFailure();
      return nullptr;
    }
    return std::make_unique<ScService>(std::move(service));
  }

 private:
  UniqueServiceHandle handle_;
};

// The manager calls the service main and the control handler through plain function pointers,
// so what they forward to lives here; one service per process.
struct Dispatch {
  ServiceMainCall main;
  ServiceControlCall handler;
  SERVICE_STATUS_HANDLE status_handle = nullptr;
};
Dispatch g_dispatch;

void WINAPI ServiceMainEntry(DWORD argc, LPSTR* argv) {
  g_dispatch.main(argc > 0 && argv[0] != nullptr ? argv[0] : "");
}

DWORD WINAPI ControlHandlerEntry(DWORD control, DWORD, LPVOID, LPVOID) {
  if (g_dispatch.handler) g_dispatch.handler(control);
  return NO_ERROR;
}

class ScServiceManager : public ServiceManager {
 public:
  std::unique_ptr<ServiceManagerHandle> OpenManager(ManagerAccess access,
                                                    ServiceFailure& failure) override {
    DWORD rights = access == ManagerAccess::kAllAccess ? SC_MANAGER_ALL_ACCESS : SC_MANAGER_CONNECT;
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, rights));
    if (!manager) {
      failure = LastFailure();
      return nullptr;
    }
    return std::make_unique<ScManager>(std::move(manager));
  }

  ServiceFailure RunDispatcher(const std::string& service_name, ServiceMainCall main) override {
    g_dispatch.main = std::move(main);
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(service_name.c_str()), ServiceMainEntry},
                                    {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) return LastFailure();
    return {};
  }

  ServiceFailure RegisterControlHandler(const std::string& service_name,
                                        ServiceControlCall handler) override {
    // In place before the registration: the first code may arrive at once.
    g_dispatch.handler = std::move(handler);
    g_dispatch.status_handle =
        RegisterServiceCtrlHandlerExA(service_name.c_str(), ControlHandlerEntry, nullptr);
    if (g_dispatch.status_handle == nullptr) return LastFailure();
    return {};
  }

  ServiceFailure ReportStatus(const ServiceStatus& status) override {
    SERVICE_STATUS raw = {};
    raw.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    raw.dwCurrentState = static_cast<DWORD>(status.state);
    raw.dwControlsAccepted = status.controls_accepted;
    raw.dwWin32ExitCode = NO_ERROR;
    raw.dwServiceSpecificExitCode = 0;
    raw.dwCheckPoint = status.checkpoint;
    raw.dwWaitHint = status.wait_hint_ms;
    if (!SetServiceStatus(g_dispatch.status_handle, &raw)) return LastFailure();
    return {};
  }

  void WriteEvent(const std::string& source, EventType type, const std::string& text) override {
    HANDLE log = EventSource(source);
    if (log == nullptr) return;
    const char* strings[] = {text.c_str()};
    WORD kind = type == EventType::kError ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE;
    ReportEventA(log, kind, 0, EventId(type), nullptr, 1, 0, strings, nullptr);
  }

  ServiceFailure AddEventSource(const std::string& source,
                                const std::string& message_file) override {
    std::string path = kEventSourcesKey + source;
    HKEY raw = nullptr;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &raw, nullptr);
    if (result != ERROR_SUCCESS) return FailureOf(static_cast<DWORD>(result));
    UniqueRegistryKey key(raw);
    ServiceFailure failure =
        SetRegistryValue(key.get(), "EventMessageFile", REG_EXPAND_SZ, message_file.c_str(),
                         static_cast<DWORD>(message_file.size() + 1));
    if (failure.failed()) return failure;
    return SetRegistryValue(key.get(), "TypesSupported", REG_DWORD, &kEventTypesSupported,
                            sizeof kEventTypesSupported);
  }

  ServiceFailure RemoveEventSource(const std::string& source) override {
    std::string path = kEventSourcesKey + source;
    LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return {};
    return FailureOf(static_cast<DWORD>(result));
  }

 private:
  // Registered on the first entry and kept for the life of the process.
  HANDLE EventSource(const std::string& source) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = sources_.find(source);
    if (found != sources_.end()) return found->second;
    HANDLE log = RegisterEventSourceA(nullptr, source.c_str());
    if (log != nullptr) sources_[source] = log;
    return log;
  }

  std::mutex mutex_;
  std::map<std::string, HANDLE> sources_;
};

}  // namespace

ServiceManager& NativeServiceManager() {
  static ScServiceManager manager;
  return manager;
}

void SetSystemdForTesting(const std::string&, const std::string&, const std::string&) {}

std::string EventTextForTesting(const std::string& message_file, EventType type,
                                const std::string& text) {
  UniqueHandle<NullHandleTraits<HMODULE, &FreeLibrary>> module(
      LoadLibraryExA(message_file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return {};
  char* inserts[] = {const_cast<char*>(text.c_str())};
  char* raw = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      module.get(), EventId(type), 0, reinterpret_cast<char*>(&raw), 0,
      reinterpret_cast<va_list*>(inserts));
  UniqueLocalMemory<char*> owned(raw);
  return length == 0 ? std::string() : std::string(raw, length);
}

}  // namespace vp::platform
