// Placeholder until the TLS layer is built.
#include "protocol/SslLibrary.h"

namespace vp {

bool SslLibraryFilesPresent() { return false; }

}  // namespace vp
