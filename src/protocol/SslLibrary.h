// The TLS library (OpenSSL 3), loaded by name at run time through one function table.
#pragma once

namespace vp {

// Whether both TLS library files can be loaded by name right now; loads and releases them.
bool SslLibraryFilesPresent();

}  // namespace vp
