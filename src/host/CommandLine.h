// Command-line switches, as the program entry and the service host read them.
#pragma once

#include <string>
#include <vector>

namespace vp {

// Whether argument is the switch name: "-" or "/" followed by exactly the name, compared without
// regard to case. "/HostTest" and "-hosttest" are the switch "hosttest"; "hosttest",
// "--hosttest" and "/hosttest=1" are not.
bool IsSwitch(const std::string& argument, const std::string& name);
// Whether any of the program's arguments (the program path not among them) is the switch name,
// wherever it stands.
bool FindSwitch(const std::vector<std::string>& arguments, const std::string& name);
// The arguments after the first that is the switch name; the argument at index, or empty when
// there is none.
std::string SwitchArgument(const std::vector<std::string>& arguments, const std::string& name,
                           std::size_t index);

}  // namespace vp
