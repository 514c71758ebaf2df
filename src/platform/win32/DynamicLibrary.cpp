// LoadLibrary for the Windows build: from the folder the program's file really lies in (not the
// path tests may give the program), and from there only. The system's search would try the
// current folder and every folder on the PATH, any of which a user may be able to write, and the
// service runs as LocalSystem: a DLL planted there would run with its rights.
#include "platform/DynamicLibrary.h"

#include "platform/FileSystem.h"
#include "platform/FileSystemNative.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {

std::string VersionedLibraryFileName(const std::string& base, int major) {
  // A 32-bit and a 64-bit build may share a folder on the PATH, so 64-bit DLLs carry a suffix.
  constexpr bool k64Bit = sizeof(void*) == 8;
  return base + "-" + std::to_string(major) + (k64Bit ? "-x64" : "") + ".dll";
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& name) {
  // No "cannot find DLL" dialog box: a missing library is a clean error for the caller.
  UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  std::string path = name;
  if (name.find_first_of("\\/") == std::string::npos)
    path = ExtractFileDir(NativeProgramFilePath()) + name;
  // The library's own imports (libssl's libcrypto) are looked for beside it first, too.
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  SetErrorMode(old_mode);
  if (!module) return nullptr;
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(module));
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::OpenSystem(const std::string& name) {
  char folder[MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return Open(std::string(folder, length) + "\\" + name);
}

void* DynamicLibrary::Symbol(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace vp::platform
