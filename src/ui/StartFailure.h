// What a shop owner reads when the proxy could not start: in Croatian, what is missing and what to
// do, then the error's own text (and the library's, on its own line) for whoever supports them.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace vp {

// UTF-8. own_port is the port the own proxy listens on; service is true when the start was the
// service's.
std::string ExplainStartFailure(const std::exception& error, std::uint16_t own_port, bool service);

}  // namespace vp
