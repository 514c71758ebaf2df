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

// Processes, threads and the other kernel objects that fail as null.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle handle) noexcept { CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

struct SocketTraits {
  using Handle = SOCKET;
  static Handle Invalid() noexcept { return INVALID_SOCKET; }
  static void Close(Handle socket) noexcept { ::closesocket(socket); }
};
using UniqueSocket = UniqueHandle<SocketTraits>;

struct AddressListTraits {
  using Handle = addrinfo*;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle list) noexcept { ::freeaddrinfo(list); }
};
using UniqueAddressList = UniqueHandle<AddressListTraits>;

// The manager itself or one service.
struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle handle) noexcept { CloseServiceHandle(handle); }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle key) noexcept { RegCloseKey(key); }
};
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

// What FormatMessage and other calls allocate for their caller with LocalAlloc.
template <typename Pointer>
struct LocalMemoryTraits {
  using Handle = Pointer;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle memory) noexcept { LocalFree(memory); }
};
template <typename Pointer>
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits<Pointer>>;

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle store) noexcept { CertCloseStore(store, 0); }
};
using UniqueCertStore = UniqueHandle<CertStoreTraits>;

struct CertContextTraits {
  using Handle = PCCERT_CONTEXT;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle context) noexcept { CertFreeCertificateContext(context); }
};
using UniqueCertContext = UniqueHandle<CertContextTraits>;

struct CertChainTraits {
  using Handle = PCCERT_CHAIN_CONTEXT;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle chain) noexcept { CertFreeCertificateChain(chain); }
};
using UniqueCertChain = UniqueHandle<CertChainTraits>;

// Fonts, bitmaps and the other GDI objects.
template <typename Object>
struct GdiObjectTraits {
  using Handle = Object;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle object) noexcept { DeleteObject(object); }
};
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;

// Only for a menu no window holds: a window destroys its own menu bar with itself.
struct MenuTraits {
  using Handle = HMENU;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle menu) noexcept { DestroyMenu(menu); }
};
using UniqueMenu = UniqueHandle<MenuTraits>;

struct IconTraits {
  using Handle = HICON;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle icon) noexcept { DestroyIcon(icon); }
};
using UniqueIcon = UniqueHandle<IconTraits>;

}  // namespace vp::platform
