// Switch matching.
#include "host/CommandLine.h"

#include <algorithm>

#include "base/AsciiText.h"

namespace vp {

bool IsSwitch(const std::string& argument, const std::string& name) {
  if (argument.empty() || (argument[0] != '-' && argument[0] != '/')) return false;
  return EqualsNoCase(std::string_view(argument).substr(1), name);
}

bool FindSwitch(const std::vector<std::string>& arguments, const std::string& name) {
  return std::any_of(arguments.begin(), arguments.end(),
                     [&](const std::string& argument) { return IsSwitch(argument, name); });
}

std::string SwitchArgument(const std::vector<std::string>& arguments, const std::string& name,
                           std::size_t index) {
  auto found = std::find_if(arguments.begin(), arguments.end(),
                            [&](const std::string& argument) { return IsSwitch(argument, name); });
  if (found == arguments.end()) return {};
  std::size_t remaining = static_cast<std::size_t>(arguments.end() - found) - 1;
  return index < remaining ? *(found + 1 + static_cast<std::ptrdiff_t>(index)) : std::string();
}

}  // namespace vp
