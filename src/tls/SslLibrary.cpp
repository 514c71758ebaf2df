// Loading and binding of the TLS library, and the texts of its error queue.
#include "tls/SslLibrary.h"

#include <mutex>

#include "base/Error.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"

namespace vp {

struct SslLibrary::Files {
  std::unique_ptr<platform::DynamicLibrary> crypto;
  std::unique_ptr<platform::DynamicLibrary> ssl;
};

namespace {

// OpenSSL 3 keeps its own locks (it is thread-safe without the locking callbacks that 1.0.x
// needed), so loading binds the functions, initialises the library once, and nothing more.

std::mutex g_mutex;
std::shared_ptr<const SslLibrary> g_library;  // guarded by g_mutex
std::string g_ssl_name_override;              // guarded by g_mutex
std::string g_crypto_name_override;           // guarded by g_mutex

// OpenSSL 3's own names: libssl.so.3 here, libssl-3.dll or libssl-3-x64.dll on Windows.
std::string DefaultSslName() { return platform::VersionedLibraryFileName("libssl", 3); }
std::string DefaultCryptoName() { return platform::VersionedLibraryFileName("libcrypto", 3); }

std::string SslNameLocked() {
  return g_ssl_name_override.empty() ? DefaultSslName() : g_ssl_name_override;
}
std::string CryptoNameLocked() {
  return g_crypto_name_override.empty() ? DefaultCryptoName() : g_crypto_name_override;
}

// Looks up every function by name, noting each one that is missing instead of stopping at the
// first, so one error names all of them.
class Binder {
 public:
  Binder(const platform::DynamicLibrary* library, std::string file)
      : library_(library), file_(std::move(file)) {}

  template <typename Fn>
  void operator()(Fn& slot, const char* name) {
    void* symbol = library_ ? library_->Symbol(name) : nullptr;
    slot = reinterpret_cast<Fn>(symbol);
    if (!symbol && library_) missing_ += (missing_.empty() ? "" : ", ") + std::string(name);
  }

  // "file: a, b" for each missing function, empty when all were found.
  std::string Report() const { return missing_.empty() ? "" : file_ + " lacks " + missing_; }

 private:
  const platform::DynamicLibrary* library_;
  std::string file_;
  std::string missing_;
};

#define VP_BIND(type, name, params) b(f.name, #name);

void BindSsl(Binder& b, SslFunctions& f) { VP_SSL_FUNCTIONS(VP_BIND) }

void BindCrypto(Binder& b, SslFunctions& f) { VP_CRYPTO_FUNCTIONS(VP_BIND) }

#undef VP_BIND

void AddLine(std::string& text, const std::string& line) {
  if (line.empty()) return;
  if (!text.empty()) text += "; ";
  text += line;
}

}  // namespace

// Called with g_mutex held.
std::shared_ptr<const SslLibrary> LoadSslLibrary() {
  std::string crypto_name = CryptoNameLocked();
  std::string ssl_name = SslNameLocked();
  auto files = std::make_unique<SslLibrary::Files>();
  // libcrypto first: on Windows libssl-3.dll then finds it already loaded from our folder.
  files->crypto = platform::DynamicLibrary::Open(crypto_name);
  files->ssl = platform::DynamicLibrary::Open(ssl_name);

  SslFunctions functions{};
  Binder ssl_binder(files->ssl.get(), ssl_name);
  Binder crypto_binder(files->crypto.get(), crypto_name);
  BindSsl(ssl_binder, functions);
  BindCrypto(crypto_binder, functions);

  std::string detail;
  if (!files->ssl) AddLine(detail, "cannot open " + ssl_name);
  if (!files->crypto) AddLine(detail, "cannot open " + crypto_name);
  AddLine(detail, ssl_binder.Report());
  AddLine(detail, crypto_binder.Report());
  if (!detail.empty()) throw Error(ErrorKind::kSslLibrary, kMsgCouldNotLoadSslLibrary, detail);

  if (functions.OPENSSL_init_ssl(0, nullptr) != 1)
    throw Error(ErrorKind::kSslLibrary, kMsgCouldNotLoadSslLibrary, "OPENSSL_init_ssl failed");
  return std::shared_ptr<const SslLibrary>(new SslLibrary(std::move(files), functions));
}

SslLibrary::SslLibrary(std::unique_ptr<Files> files, const SslFunctions& functions)
    : files_(std::move(files)), functions_(functions) {}

SslLibrary::~SslLibrary() = default;

std::shared_ptr<const SslLibrary> SslLibrary::Get() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_library) g_library = LoadSslLibrary();  // a throw leaves it empty for the next try
  return g_library;
}

void SslLibrary::ClearErrors() const { functions_.ERR_clear_error(); }

std::string SslLibrary::TakeErrorText() const {
  std::string text;
  while (unsigned long error = functions_.ERR_get_error()) {
    char line[256] = {};
    functions_.ERR_error_string_n(error, line, sizeof line);
    if (!text.empty()) text += "\n";
    text += line;
  }
  return text;
}

bool SslLibrary::PeerClosedUnexpectedly() const {
  unsigned long error = functions_.ERR_peek_error();
  if (error & openssl::kErrSystemFlag) return false;
  return ((error >> openssl::kErrLibOffset) & openssl::kErrLibMask) == openssl::kErrLibSsl &&
         (error & openssl::kErrReasonMask) == openssl::kReasonUnexpectedEofWhileReading;
}

std::string SslLibraryName() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return SslNameLocked();
}

std::string CryptoLibraryName() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return CryptoNameLocked();
}

void SetSslLibraryNamesForTesting(const std::string& ssl, const std::string& crypto) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_ssl_name_override = ssl;
  g_crypto_name_override = crypto;
  g_library.reset();
}

bool SslLibraryFilesPresent() {
  // Every forwarded request asks; once the table is loaded we hold both files open already, and
  // loading and unloading them again per request would be pure cost.
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_library) return true;
  }
  auto ssl = platform::DynamicLibrary::Open(SslLibraryName());
  auto crypto = platform::DynamicLibrary::Open(CryptoLibraryName());
  return ssl && crypto;
}

}  // namespace vp
