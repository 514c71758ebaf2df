// The help window "Pomoć": read-only text, shown without blocking; closing it only hides it.
#pragma once

namespace vp::platform {

class HelpWindow {
 public:
  virtual ~HelpWindow() = default;
  // Shows the window (again, after a close) and brings it forward.
  virtual void Show() = 0;
};

}  // namespace vp::platform
