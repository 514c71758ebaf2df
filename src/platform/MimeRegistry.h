// The file types the operating system registers: the Windows registry's "Content Type" values, or
// /etc/mime.types on POSIX.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vp::platform {

// Pairs of lower-case extension with its leading dot (".crt") and content type.
std::vector<std::pair<std::string, std::string>> RegisteredMimeTypes();

// Tests point the POSIX registry at a file of their own (empty: none at all). Returns false where
// the types come from the Windows registry instead, which a test cannot replace.
bool SetMimeTypesFileForTesting(const std::string& path);

}  // namespace vp::platform
