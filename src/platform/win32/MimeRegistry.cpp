// The "Content Type" values registered under HKEY_CLASSES_ROOT for file extensions.
#include "platform/MimeRegistry.h"

#include <cctype>

#include "platform/win32/Handles.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {

std::vector<std::pair<std::string, std::string>> RegisteredMimeTypes() {
  std::vector<std::pair<std::string, std::string>> types;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD name_len = sizeof name;
    LONG rc = RegEnumKeyExA(HKEY_CLASSES_ROOT, index, name, &name_len, nullptr, nullptr, nullptr,
                            nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) continue;
    if (name[0] != '.') continue;  // extensions sort first; the rest are ProgIDs and CLSIDs
    HKEY opened;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_READ, &opened) != ERROR_SUCCESS) continue;
    UniqueRegistryKey key(opened);
    char type[256];
    DWORD type_len = sizeof type;
    DWORD kind = 0;
    if (RegQueryValueExA(key.get(), "Content Type", nullptr, &kind, reinterpret_cast<BYTE*>(type),
                         &type_len) == ERROR_SUCCESS &&
        kind == REG_SZ && type_len > 1) {
      std::string extension(name, name_len);
      for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      types.emplace_back(extension, std::string(type, type_len - 1));
    }
  }
  return types;
}

bool SetMimeTypesFileForTesting(const std::string&) { return false; }

}  // namespace vp::platform
