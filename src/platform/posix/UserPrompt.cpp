// Notices and questions on the terminal. Without a terminal on standard input nobody can answer,
// so a notice is only printed and a question counts as No: nothing changes without consent.
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "platform/UserPromptNative.h"
#include "platform/posix/TerminalInput.h"

namespace vp::platform {
namespace {

// Enough for a person who mistypes; a stream of nonsense on a terminal ends as Cancel.
constexpr int kMaxQuestionAttempts = 5;

// The answer a typed line gives, or none when it is not one of the three.
std::optional<Answer> AnswerOf(const std::string& line) {
  std::size_t start = line.find_first_not_of(" \t\r");
  if (start == std::string::npos) return std::nullopt;
  switch (line[start]) {
    case 'y':
    case 'Y':
    case 'd':
    case 'D':
      return Answer::kYes;  // "da"
    case 'n':
    case 'N':
      return Answer::kNo;
    case 'c':
    case 'C':
    case 'o':
    case 'O':
      return Answer::kCancel;  // "odustani"
    default:
      return std::nullopt;
  }
}

class TerminalPrompt : public UserPrompt {
 public:
  void Notice(const std::string& text, NoticeIcon icon) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const char* prefix = icon == NoticeIcon::kError ? "Greška: " : "";
    std::fprintf(stdout, "%s: %s%s\n", kApplicationTitle, prefix, text.c_str());
    std::fflush(stdout);
  }

  Answer Question(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(stdout, "%s: %s\n", kQuestionCaption, text.c_str());
    if (!InputIsTerminal()) {
      std::fprintf(stdout, "(no terminal to answer on: No)\n");
      std::fflush(stdout);
      return Answer::kNo;
    }
    for (int attempt = 0; attempt < kMaxQuestionAttempts; ++attempt) {
      std::fprintf(stdout, "[y = Da / n = Ne / c = Odustani] ");
      std::fflush(stdout);
      std::string line;
      if (ReadTerminalLine(line, false) != LineStatus::kLine) return Answer::kCancel;
      if (std::optional<Answer> answer = AnswerOf(line)) return *answer;
    }
    return Answer::kCancel;
  }

 private:
  std::mutex mutex_;
};

}  // namespace

UserPrompt& NativeUserPrompt() {
  static TerminalPrompt prompt;
  return prompt;
}

}  // namespace vp::platform
