// dlopen for the POSIX build.
#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace vp::platform {

std::string VersionedLibraryFileName(const std::string& base, int major) {
  return base + ".so." + std::to_string(major);
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_) ::dlclose(handle_);
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& name) {
  void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::OpenSystem(const std::string& name) {
  return Open(name);
}

void* DynamicLibrary::Symbol(const char* name) const { return ::dlsym(handle_, name); }

}  // namespace vp::platform
