// Error texts are kept in the ANSI code page like all of the program's text; the box takes UTF-8.
#include "ui/HandlerErrors.h"

#include "platform/CodePage.h"
#include "platform/UserPrompt.h"

namespace vp {

void ShowHandlerError(const std::exception& error) {
  platform::ShowNotice(platform::Utf8FromAnsi(error.what()), platform::NoticeIcon::kError);
}

}  // namespace vp
