// An error inside a window handler is shown in the error box, and the program goes on.
#pragma once

#include <exception>

namespace vp {

// The error's message under the application title, with the error icon.
void ShowHandlerError(const std::exception& error);

template <typename Handler>
void RunHandler(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowHandlerError(error);
  }
}

}  // namespace vp
