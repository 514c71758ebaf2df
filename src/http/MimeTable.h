// Content types by file extension: a built-in list, extended on first use by the types the
// operating system registers.
#pragma once

#include <string>

namespace vp {

// The content type for a file name or path, "application/octet-stream" when nothing knows its
// extension. Safe to call from any thread.
std::string MimeTypeForFile(const std::string& file_name);

// Forgets the loaded table, so the next lookup reads the OS registry again.
void ResetMimeTableForTesting();

}  // namespace vp
