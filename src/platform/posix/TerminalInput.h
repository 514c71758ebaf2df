// Lines typed on standard input, for every reader of the terminal (the prompt and the terminal
// windows), so that none of them loses what another has already read ahead.
#pragma once

#include <string>

namespace vp::platform {

enum class LineStatus {
  kLine,      // a line arrived
  kCallsRan,  // main-thread calls ran meanwhile; the caller may redraw and read again
  kEnd,       // end of input, or the user or the system asked the program to end
};

// For one thread at a time: the main thread, whose prompt questions read through here as well.
// Reads one line without its line end. With run_calls, calls handed to the main thread run while
// it waits, and it returns kCallsRan after them; without, it only waits for the line.
LineStatus ReadTerminalLine(std::string& line, bool run_calls);

// Whether a person can answer: standard input is a terminal.
bool InputIsTerminal();

}  // namespace vp::platform
