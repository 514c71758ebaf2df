// Notices and questions put to the person at the machine: message boxes on Windows, the terminal
// elsewhere. Texts are UTF-8, so Croatian letters show whatever the machine's ANSI code page is;
// a caller that builds a text from ANSI parts (a path, an OS error text) converts them first with
// Utf8FromAnsi.
#pragma once

#include <string>

namespace vp::platform {

// The caption of every notice, and the title of the tray balloon.
inline constexpr char kApplicationTitle[] = "Vormetra Proxy";
// The caption of every question.
inline constexpr char kQuestionCaption[] = "Confirm";

enum class Answer { kYes, kNo, kCancel };
enum class NoticeIcon { kNone, kInformation, kError };

class UserPrompt {
 public:
  virtual ~UserPrompt() = default;
  // A box with an OK button under kApplicationTitle; returns once the user has closed it.
  virtual void Notice(const std::string& text, NoticeIcon icon) = 0;
  // A box with Yes, No and Cancel under kQuestionCaption, with the question icon. Only kYes may
  // let the caller go ahead; a box that cannot be shown answers kCancel.
  virtual Answer Question(const std::string& text) = 0;
};

// The prompt in force: the system's own unless a test has put a double in its place.
UserPrompt& CurrentUserPrompt();
// Tests put a scripted double in place of the system's boxes; nullptr restores them.
void SetUserPromptForTesting(UserPrompt* prompt);

// Shorthands for CurrentUserPrompt().
void ShowNotice(const std::string& text, NoticeIcon icon = NoticeIcon::kNone);
Answer AskQuestion(const std::string& text);

}  // namespace vp::platform
