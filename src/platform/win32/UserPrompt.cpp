// Notices and questions as message boxes, through the wide-character API so that Croatian letters
// show whatever the machine's ANSI code page is.
#include <string>

#include "platform/UserPromptNative.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

std::wstring WideFromUtf8(const std::string& utf8) {
  if (utf8.empty()) return {};
  int length = static_cast<int>(utf8.size());
  int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (count <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), count);
  return wide;
}

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
