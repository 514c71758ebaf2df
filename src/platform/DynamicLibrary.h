// A shared library loaded by name at run time, unloaded when its owner goes.
#pragma once

#include <memory>
#include <string>

namespace vp::platform {

// The file name this platform gives a library of that base name and major version, as OpenSSL's
// own builds name theirs: "libssl-3.dll" on 32-bit Windows, "libssl-3-x64.dll" on 64-bit
// Windows, "libssl.so.3" on POSIX.
std::string VersionedLibraryFileName(const std::string& base, int major);

class DynamicLibrary {
 public:
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Null when the library cannot be loaded. On Windows a bare name is looked for in the program's
  // own folder only, and the system's "missing file" dialog is suppressed.
  static std::unique_ptr<DynamicLibrary> Open(const std::string& name);
  // One of the system's own libraries: on Windows from the system folder only; elsewhere as Open.
  static std::unique_ptr<DynamicLibrary> OpenSystem(const std::string& name);

  // Null when the library has no such symbol.
  void* Symbol(const char* name) const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace vp::platform
