#include "support/UnderWine.h"

#include "platform/DynamicLibrary.h"

namespace vp::test {

bool UnderWine() {
  // Wine's ntdll exports its version; Windows' does not, and POSIX has no ntdll.dll.
  static const bool under_wine = [] {
    auto ntdll = platform::DynamicLibrary::OpenSystem("ntdll.dll");
    return ntdll && ntdll->Symbol("wine_get_version") != nullptr;
  }();
  return under_wine;
}

}  // namespace vp::test
