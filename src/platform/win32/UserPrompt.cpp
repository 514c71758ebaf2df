// Notices and questions as message boxes, through the wide-character API so that Croatian letters
// show whatever the machine's ANSI code page is.
#include <string>

#include "platform/UserPromptNative.h"
#include "platform/win32/WideText.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

UINT IconStyle(NoticeIcon icon) {
  switch (icon) {
    case NoticeIcon::kInformation:
      return MB_ICONINFORMATION;
    case NoticeIcon::kError:
      return MB_ICONERROR;
    case NoticeIcon::kNone:
      break;
  }
  return 0;
}

class MessageBoxPrompt : public UserPrompt {
 public:
  void Notice(const std::string& text, NoticeIcon icon) override {
    MessageBoxW(nullptr, WideFromUtf8(text).c_str(), WideFromUtf8(kApplicationTitle).c_str(),
                MB_OK | IconStyle(icon) | MB_TASKMODAL);
  }

  Answer Question(const std::string& text) override {
    int result =
        MessageBoxW(nullptr, WideFromUtf8(text).c_str(), WideFromUtf8(kQuestionCaption).c_str(),
                    MB_YESNOCANCEL | MB_ICONQUESTION | MB_TASKMODAL);
    if (result == IDYES) return Answer::kYes;
    if (result == IDNO) return Answer::kNo;
    return Answer::kCancel;
  }
};

}  // namespace

UserPrompt& NativeUserPrompt() {
  static MessageBoxPrompt prompt;
  return prompt;
}

}  // namespace vp::platform
