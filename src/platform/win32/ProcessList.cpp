// The process list through ToolHelp.
#include "platform/ProcessList.h"

#include "platform/win32/Handles.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

// Wine's ntdll exports its version; Windows' does not.
bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

std::vector<ProcessEntry> ProcessSnapshot() {
  std::vector<ProcessEntry> list;
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return list;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry))
    list.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
  return list;
}

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

ServiceManagerAncestry ServiceManagerAncestryRule() {
  ServiceManagerAncestry rule;
  rule.parent = "services.exe";
  if (!RunningUnderWine()) rule.grandparents = {"winlogon.exe", "wininit.exe"};
  return rule;
}

}  // namespace vp::platform
