// A library context with the default and the legacy algorithms loaded by their provider names.
#include "tls/SslLibraryContext.h"

#include "base/Error.h"
#include "tls/SslContext.h"

namespace vp {

// Our Windows build of the library carries the legacy provider inside libcrypto, so loading it by
// name reads no file; a system library loads its module from its own compiled-in folder.
SslLibraryContext::SslLibraryContext(std::shared_ptr<const SslLibrary> library) {
  const SslFunctions& fn = library->fn();
  library->ClearErrors();
  context_ = SslOwned<openssl::OSSL_LIB_CTX>(library, fn.OSSL_LIB_CTX_new());
  // A context that names any provider gets no default one of its own accord.
  if (context_)
    default_ = SslOwned<openssl::OSSL_PROVIDER>(library, fn.OSSL_PROVIDER_load(get(), "default"));
  if (!default_) {
    std::string text = library->TakeErrorText();
    throw Error(ErrorKind::kSsl, kMsgErrorCreatingSslContext, text);
  }
  legacy_ = SslOwned<openssl::OSSL_PROVIDER>(library, fn.OSSL_PROVIDER_load(get(), "legacy"));
  library->ClearErrors();
}

}  // namespace vp
