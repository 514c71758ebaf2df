// The POSIX handles a UniqueHandle owns: descriptors, address lists, directory streams and the
// file actions of a spawn.
#pragma once

#include <dirent.h>
#include <netdb.h>
#include <spawn.h>
#include <unistd.h>

#include "platform/UniqueHandle.h"

namespace vp::platform {

struct FdTraits {
  using Handle = int;
  static Handle Invalid() noexcept { return -1; }
  static void Close(Handle fd) noexcept { ::close(fd); }
};
using UniqueFd = UniqueHandle<FdTraits>;

struct AddressListTraits {
  using Handle = addrinfo*;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle list) noexcept { ::freeaddrinfo(list); }
};
using UniqueAddressList = UniqueHandle<AddressListTraits>;

struct DirectoryTraits {
  using Handle = DIR*;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle dir) noexcept { ::closedir(dir); }
};
using UniqueDirectory = UniqueHandle<DirectoryTraits>;

// The actions themselves are a value the caller keeps; what is owned is their initialised state.
struct SpawnActionsTraits {
  using Handle = posix_spawn_file_actions_t*;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle actions) noexcept { posix_spawn_file_actions_destroy(actions); }
};
using UniqueSpawnActions = UniqueHandle<SpawnActionsTraits>;

}  // namespace vp::platform
