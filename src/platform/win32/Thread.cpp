// Windows threads whose stack reservation, not only its first commit, is the caller's choice.
#include "platform/Thread.h"

#include <process.h>

#include <system_error>

#include "platform/win32/Handles.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {

struct Thread::Native {
  UniqueKernelHandle handle;
};

namespace {

unsigned __stdcall Run(void* argument) noexcept {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return 0;
}

}  // namespace

Thread::Thread(std::size_t stack_bytes, std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  // Without STACK_SIZE_PARAM_IS_A_RESERVATION the size would only be the first commit, and the
  // reservation would stay the program file's. _beginthreadex rather than CreateThread: the
  // thread uses the C runtime.
  auto handle = ::_beginthreadex(nullptr, static_cast<unsigned>(stack_bytes), Run, owned.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (handle == 0) throw std::system_error(errno, std::generic_category(), "_beginthreadex");
  owned.release();  // the thread frees it
  native_.reset(new Native);
  native_->handle.reset(reinterpret_cast<HANDLE>(handle));
}

void Thread::NativeDeleter::operator()(Native* native) const { delete native; }

void Thread::Join(Native& native) { ::WaitForSingleObject(native.handle.get(), INFINITE); }

}  // namespace vp::platform
