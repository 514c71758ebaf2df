// Building a TLS context from an options record, step by step, in the order the handlers rely on:
// method, versions, modes, trust, own certificate and key, callbacks, ciphers, verification.
#include "tls/SslContext.h"

#include <mutex>

#include "base/Error.h"
#include "tls/SslLibraryContext.h"

namespace vp {
namespace {

using openssl::SSL_CTX;
using openssl::SSL_METHOD;

// Identifies our sessions for resumption on the server side: the bytes of the 32-bit integer 1
// as they lie in memory on the x86 machines the program runs on.
constexpr unsigned char kSessionIdContext[4] = {1, 0, 0, 0};

// Whatever the system's openssl.cnf says, OpenSSL 3 refuses TLS 1.0 (SHA-1 and MD5 in the
// handshake, CBC suites) above security level 0, and the listener must speak TLS 1.0.
constexpr int kSecurityLevel = 0;

// Sessions the listener keeps for clients that resume by session ID. OpenSSL's default of 20 480
// lets a busy day grow the cache by megabytes (each kept session pins several kilobytes of heap);
// a shop has a handful of tills, and a client whose session has been pushed out simply makes a
// full handshake.
constexpr long kServerSessionCacheSize = 64;

// Struck from every list outside the listener's library context. Our Windows build of the library
// has them (old tills need them on the listener), and 3DES needs no legacy provider: without this
// the upstream road would offer the authority suites that the library never had before.
constexpr const char* kWithoutOldTillSuites = ":!RC4:!3DES";

std::mutex g_password_mutex;

// No password event is offered, so an encrypted key gets the empty password and fails to load;
// without this callback OpenSSL would prompt on the console instead.
int EmptyPassword(char* buffer, int size, int, void*) {
  std::lock_guard<std::mutex> lock(g_password_mutex);
  if (size > 0) buffer[0] = '\0';
  return 0;
}

// The protocol number of a version value, 0 for one with no such number (SSL 2.0, the flexible
// method itself).
int ProtocolNumber(TIdSSLVersion version) {
  switch (version) {
    case TIdSSLVersion::sslvSSLv3:
      return openssl::kSsl3Version;
    case TIdSSLVersion::sslvTLSv1:
      return openssl::kTls1Version;
    case TIdSSLVersion::sslvTLSv1_1:
      return openssl::kTls11Version;
    case TIdSSLVersion::sslvTLSv1_2:
      return openssl::kTls12Version;
    default:
      return 0;
  }
}

bool Verifies(const TIdSSLOptions& options) { return !options.VerifyMode.empty(); }

bool Serves(const TIdSSLOptions& options) {
  return options.Mode == TIdSSLMode::sslmServer || options.Mode == TIdSSLMode::sslmBoth;
}

// Whether building a context from these options reads anything from disk: trust locations, the
// own certificate and key, or Diffie-Hellman parameters.
bool ReadsFiles(const TIdSSLOptions& options) {
  return Verifies(options) || !options.RootCertFile.empty() || !options.VerifyDirs.empty() ||
         !options.CertFile.empty() || !options.KeyFile.empty() || !options.DHParamsFile.empty();
}

// The one context handed out by SslContext::Shared, with what it was built from.
struct SharedContext {
  std::mutex mutex;
  std::shared_ptr<SslContext> context;  // guarded by mutex, as are the two below
  TIdSSLOptions options;
  SslContextCallbacks callbacks;
};

// Never destroyed: freeing the context after the library's own exit handler has cleaned up
// would touch freed state, and the process ends right after anyway.
SharedContext& TheSharedContext() {
  static SharedContext* shared = new SharedContext;
  return *shared;
}

class ContextBuilder {
 public:
  // The context is made in library_context, or in the library's default one when that is null.
  ContextBuilder(std::shared_ptr<const SslLibrary> library, const TIdSSLOptions& options,
                 const SslLibraryContext* library_context)
      : library_(std::move(library)),
        lib_(*library_),
        fn_(lib_.fn()),
        options_(options),
        library_context_(library_context) {}

  // A failing step throws, and the half-built context goes with the builder.
  SslOwned<SSL_CTX> Build(const SslContextCallbacks& callbacks) {
    lib_.ClearErrors();
    const SSL_METHOD* method = PickMethod();
    if (!method) Fail(kMsgErrorGettingSslMethod, false);
    ctx_ = SslOwned<SSL_CTX>(
        library_,
        fn_.SSL_CTX_new_ex(library_context_ ? library_context_->get() : nullptr, nullptr, method));
    if (!ctx_) Fail(kMsgErrorCreatingSslContext, false);
    fn_.SSL_CTX_set_security_level(ctx_.get(), kSecurityLevel);
    LimitVersions();
    fn_.SSL_CTX_ctrl(ctx_.get(), openssl::kCtrlMode, openssl::kModeAutoRetry, nullptr);
    fn_.SSL_CTX_set_default_passwd_cb(ctx_.get(), &EmptyPassword);
    LoadDefaultTrust();
    LoadTrust();
    LoadCertificateAndKey();
    LoadDhParameters();
    if (callbacks.info) fn_.SSL_CTX_set_info_callback(ctx_.get(), callbacks.info);
    SetCiphers();
    SetVerification(callbacks.verify);
    if (Serves(options_)) {
      fn_.SSL_CTX_set_session_id_context(ctx_.get(), kSessionIdContext, sizeof kSessionIdContext);
      fn_.SSL_CTX_ctrl(ctx_.get(), openssl::kCtrlSetSessCacheSize, kServerSessionCacheSize,
                       nullptr);
    }
    OfferClientCas();
    return std::move(ctx_);
  }

 private:
  const SSL_METHOD* SideMethod() const {
    switch (options_.Mode) {
      case TIdSSLMode::sslmServer:
        return fn_.TLS_server_method();
      case TIdSSLMode::sslmClient:
        return fn_.TLS_client_method();
      default:
        return fn_.TLS_method();
    }
  }

  // One flexible method serves every choice; a fixed version is pinned by LimitVersions.
  const SSL_METHOD* PickMethod() const {
    switch (options_.Method()) {
      case TIdSSLVersion::sslvTLSv1:
      case TIdSSLVersion::sslvTLSv1_1:
      case TIdSSLVersion::sslvTLSv1_2:
      case TIdSSLVersion::sslvSSLv23:
        return SideMethod();
      default:
        return nullptr;
    }
  }

  // A fixed method speaks its version alone; the flexible one spans the lowest to the highest
  // version of the set, with the versions outside the set switched off. TLS 1.3 is never in the
  // set, so it is always off.
  void LimitVersions() {
    const TIdSSLVersions& versions = options_.SSLVersions();
    std::uint64_t off = openssl::kOpNoTlsv1_3;
    if (!versions.count(TIdSSLVersion::sslvSSLv3)) off |= openssl::kOpNoSslv3;
    if (!versions.count(TIdSSLVersion::sslvTLSv1)) off |= openssl::kOpNoTlsv1;
    if (!versions.count(TIdSSLVersion::sslvTLSv1_1)) off |= openssl::kOpNoTlsv1_1;
    if (!versions.count(TIdSSLVersion::sslvTLSv1_2)) off |= openssl::kOpNoTlsv1_2;
    fn_.SSL_CTX_set_options(ctx_.get(), off);

    int low = 0, high = 0;
    if (options_.Method() != TIdSSLVersion::sslvSSLv23) {
      low = high = ProtocolNumber(options_.Method());
    } else {
      for (TIdSSLVersion version : versions) {
        int number = ProtocolNumber(version);
        if (!number) continue;
        if (!low || number < low) low = number;
        if (number > high) high = number;
      }
    }
    if (!high) high = openssl::kTls12Version;  // nothing usable: the options above refuse all
    if (fn_.SSL_CTX_ctrl(ctx_.get(), openssl::kCtrlSetMinProtoVersion, low, nullptr) != 1 ||
        fn_.SSL_CTX_ctrl(ctx_.get(), openssl::kCtrlSetMaxProtoVersion, high, nullptr) != 1)
      Fail(kMsgErrorCreatingSslContext, false);
  }

  // The system's trust locations matter only to a context that checks its peer; loading them
  // reads and decodes the whole certificate bundle, which a context that checks nothing (the
  // upstream road, made for every forwarded request) would pay for nothing.
  void LoadDefaultTrust() {
    if (!Verifies(options_)) return;
    fn_.SSL_CTX_set_default_verify_paths(ctx_.get());
  }

  void LoadTrust() {
    const std::string& file = options_.RootCertFile;
    const std::string& dirs = options_.VerifyDirs;
    if (file.empty() && dirs.empty()) return;
    if (fn_.SSL_CTX_load_verify_locations(ctx_.get(), file.empty() ? nullptr : file.c_str(),
                                          dirs.empty() ? nullptr : dirs.c_str()) != 1)
      Fail(kMsgCouldNotLoadRootCertificate, true);
  }

  // The certificate comes first, so that the key can be checked against it.
  void LoadCertificateAndKey() {
    if (!options_.CertFile.empty() &&
        fn_.SSL_CTX_use_certificate_file(ctx_.get(), options_.CertFile.c_str(),
                                         openssl::kFiletypePem) != 1)
      Fail(kMsgCouldNotLoadCertificate, true);
    if (options_.KeyFile.empty()) return;
    if (fn_.SSL_CTX_use_PrivateKey_file(ctx_.get(), options_.KeyFile.c_str(),
                                        openssl::kFiletypePem) != 1 ||
        fn_.SSL_CTX_check_private_key(ctx_.get()) != 1)
      Fail(kMsgCouldNotLoadKey, true);
  }

  void LoadDhParameters() {
    if (options_.DHParamsFile.empty()) return;
    SslOwned<openssl::EVP_PKEY> dh = ReadDhParameters();
    // On success the context owns the parameters.
    if (dh && fn_.SSL_CTX_set0_tmp_dh_pkey(ctx_.get(), dh.get()) == 1) {
      dh.release();
      return;
    }
    dh.reset();
    Fail(kMsgCouldNotLoadDhParameters, true);
  }

  SslOwned<openssl::EVP_PKEY> ReadDhParameters() {
    SslOwned<openssl::BIO> bio(library_, fn_.BIO_new_file(options_.DHParamsFile.c_str(), "r"));
    if (!bio) Fail(kMsgCouldNotLoadDhParameters, true);
    return SslOwned<openssl::EVP_PKEY>(library_, fn_.PEM_read_bio_Parameters(bio.get(), nullptr));
  }

  void SetCiphers() {
    std::string list =
        options_.CipherList.empty() ? std::string(kDefaultCipherList) : options_.CipherList;
    if (!library_context_) list += kWithoutOldTillSuites;
    if (fn_.SSL_CTX_set_cipher_list(ctx_.get(), list.c_str()) != 1)
      Fail(kMsgSetCipherFailed, false);
  }

  // With no verify flags the library checks nothing and the callback never runs.
  void SetVerification(openssl::VerifyCallback callback) {
    const TIdSSLVerifyModeSet& mode = options_.VerifyMode;
    if (mode.empty()) return;
    int flags = 0;
    if (mode.count(TIdSSLVerifyMode::sslvrfPeer)) flags |= openssl::kVerifyPeer;
    if (mode.count(TIdSSLVerifyMode::sslvrfFailIfNoPeerCert))
      flags |= openssl::kVerifyFailIfNoPeerCert;
    if (mode.count(TIdSSLVerifyMode::sslvrfClientOnce)) flags |= openssl::kVerifyClientOnce;
    fn_.SSL_CTX_set_verify(ctx_.get(), flags, callback);
    fn_.SSL_CTX_set_verify_depth(ctx_.get(), options_.VerifyDepth);
  }

  void OfferClientCas() {
    if (options_.RootCertFile.empty()) return;
    // The context owns the list; a file without names offers none, which is no error.
    if (openssl::X509_NAME_STACK* names =
            fn_.SSL_load_client_CA_file(options_.RootCertFile.c_str()))
      fn_.SSL_CTX_set_client_CA_list(ctx_.get(), names);
    lib_.ClearErrors();
  }

  [[noreturn]] void Fail(const char* message, bool with_library_text) {
    std::string text = lib_.TakeErrorText();
    std::string shown = with_library_text ? std::string(message) + "\n" + text : message;
    throw Error(ErrorKind::kSsl, shown, text);
  }

  std::shared_ptr<const SslLibrary> library_;
  const SslLibrary& lib_;
  const SslFunctions& fn_;
  const TIdSSLOptions& options_;
  const SslLibraryContext* library_context_;
  SslOwned<SSL_CTX> ctx_;
};

}  // namespace

std::shared_ptr<SslContext> SslContext::Create(std::shared_ptr<const SslLibrary> library,
                                               const TIdSSLOptions& options,
                                               const SslContextCallbacks& callbacks) {
  std::unique_ptr<SslLibraryContext> library_context;
  if (Serves(options)) library_context = std::make_unique<SslLibraryContext>(library);
  SslOwned<SSL_CTX> ctx =
      ContextBuilder(std::move(library), options, library_context.get()).Build(callbacks);
  return std::shared_ptr<SslContext>(
      new SslContext(std::move(library_context), std::move(ctx), Verifies(options)));
}

SslContext::SslContext(std::unique_ptr<SslLibraryContext> library_context, SslOwned<SSL_CTX> ctx,
                       bool checks_peer)
    : library_context_(std::move(library_context)),
      ctx_(std::move(ctx)),
      checks_peer_(checks_peer) {}

SslContext::~SslContext() = default;

std::shared_ptr<SslContext> SslContext::Shared(std::shared_ptr<const SslLibrary> library,
                                               const TIdSSLOptions& options,
                                               const SslContextCallbacks& callbacks) {
  if (ReadsFiles(options)) return Create(std::move(library), options, callbacks);
  SharedContext& shared = TheSharedContext();
  std::lock_guard<std::mutex> lock(shared.mutex);
  if (shared.context && shared.context->shared_library() == library && shared.options == options &&
      shared.callbacks == callbacks)
    return shared.context;
  // A throw leaves the previous context in place.
  shared.context = Create(std::move(library), options, callbacks);
  shared.options = options;
  shared.callbacks = callbacks;
  return shared.context;
}

}  // namespace vp
