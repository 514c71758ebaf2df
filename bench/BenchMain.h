// The frame of a bench tool's main: an error ends the tool with its text and exit code 1.
#pragma once

#include <cstdio>
#include <exception>
#include <type_traits>

namespace vp::bench {

template <typename Body>
int RunTool(const char* name, Body body) {
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      return 0;
    } else {
      return body();
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", name, error.what());
    return 1;
  }
}

}  // namespace vp::bench
