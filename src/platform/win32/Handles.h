// The Windows handles a UniqueHandle owns. Each kind has its own way to be freed and its own
// value for "none": a file handle fails as INVALID_HANDLE_VALUE, most others as null.
#pragma once

#include "platform/UniqueHandle.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {

// CreateFile and CreateToolhelp32Snapshot.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) noexcept { CloseHandle(handle); }
};
using UniqueFile = UniqueHandle<FileHandleTraits>;

// A handle that is null when there is none, freed by Free.
template <typename H, auto Free>
struct NullHandleTraits {
  using Handle = H;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle handle) noexcept { Free(handle); }
};

// Processes, threads and the other kernel objects that fail as null.
using UniqueKernelHandle = UniqueHandle<NullHandleTraits<HANDLE, &CloseHandle>>;

struct SocketTraits {
  using Handle = SOCKET;
  static Handle Invalid() noexcept { return INVALID_SOCKET; }
  static void Close(Handle socket) noexcept { ::closesocket(socket); }
};
using UniqueSocket = UniqueHandle<SocketTraits>;

using UniqueAddressList = UniqueHandle<NullHandleTraits<addrinfo*, &::freeaddrinfo>>;
// The manager itself or one service.
using UniqueServiceHandle = UniqueHandle<NullHandleTraits<SC_HANDLE, &CloseServiceHandle>>;
using UniqueRegistryKey = UniqueHandle<NullHandleTraits<HKEY, &RegCloseKey>>;
// What FormatMessage and other calls allocate for their caller with LocalAlloc.
template <typename Pointer>
using UniqueLocalMemory = UniqueHandle<NullHandleTraits<Pointer, &LocalFree>>;

inline void CloseCertStore(HCERTSTORE store) noexcept { CertCloseStore(store, 0); }
using UniqueCertStore = UniqueHandle<NullHandleTraits<HCERTSTORE, &CloseCertStore>>;
using UniqueCertContext =
    UniqueHandle<NullHandleTraits<PCCERT_CONTEXT, &CertFreeCertificateContext>>;
using UniqueCertChain =
    UniqueHandle<NullHandleTraits<PCCERT_CHAIN_CONTEXT, &CertFreeCertificateChain>>;

// Fonts, bitmaps and the other GDI objects.
using UniqueFont = UniqueHandle<NullHandleTraits<HFONT, &DeleteObject>>;
using UniqueBitmap = UniqueHandle<NullHandleTraits<HBITMAP, &DeleteObject>>;
// Only for a menu no window holds: a window destroys its own menu bar with itself.
using UniqueMenu = UniqueHandle<NullHandleTraits<HMENU, &DestroyMenu>>;
using UniqueIcon = UniqueHandle<NullHandleTraits<HICON, &DestroyIcon>>;

}  // namespace vp::platform
