// Trusted roots as files, through the TLS library: parsing and PEM-writing certificates for the
// folder, PKCS #12 files for stores in memory, and chain checks against the bundle.
#include "host/FileCertService.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>
#include <vector>

#include "base/AsciiText.h"
#include "base/Error.h"
#include "platform/FileSystem.h"
#include "tls/SslLibrary.h"
#include "tls/SslOwned.h"

namespace vp {
namespace {

using Library = std::shared_ptr<const SslLibrary>;

constexpr const char* kRootStoreName = "Root";
// How many digest bytes name a root's file: 64 bits tell the few local roots apart.
constexpr std::size_t kFileNameDigestBytes = 8;
constexpr const char* kFileNamePrefix = "vormetra-proxy-";
// update-ca-certificates takes only files with this extension from the folder.
constexpr const char* kFileNameExtension = ".crt";

// The library, or null when it cannot be loaded: then no store opens and nothing is trusted.
Library LoadLibrary() {
  try {
    return SslLibrary::Get();
  } catch (const Error&) {
    return nullptr;
  }
}

// The certificate, when the bytes are exactly one DER certificate and nothing besides.
SslOwned<openssl::X509> ParseDer(const Library& library, const std::string& der) {
  const SslFunctions& fn = library->fn();
  if (der.empty() || der.size() > static_cast<std::size_t>(std::numeric_limits<long>::max()))
    return {};
  library->ClearErrors();
  const auto* start = reinterpret_cast<const unsigned char*>(der.data());
  const unsigned char* next = start;
  SslOwned<openssl::X509> certificate(library,
                                      fn.d2i_X509(nullptr, &next, static_cast<long>(der.size())));
  library->ClearErrors();
  if (!certificate || static_cast<std::size_t>(next - start) != der.size()) return {};
  return certificate;
}

std::string DerOf(const SslLibrary& library, const openssl::X509* certificate) {
  const SslFunctions& fn = library.fn();
  int length = fn.i2d_X509(certificate, nullptr);
  if (length <= 0) return {};
  std::string der(static_cast<std::size_t>(length), '\0');
  auto* out = reinterpret_cast<unsigned char*>(der.data());
  if (fn.i2d_X509(certificate, &out) != length) return {};
  return der;
}

std::string PemOf(const Library& library, const openssl::X509* certificate) {
  const SslFunctions& fn = library->fn();
  SslOwned<openssl::BIO> bio(library, fn.BIO_new(fn.BIO_s_mem()));
  if (!bio.get() || fn.PEM_write_bio_X509(bio.get(), certificate) != 1) return {};
  std::string pem(fn.BIO_ctrl_pending(bio.get()), '\0');
  int read = pem.empty() ? 0 : fn.BIO_read(bio.get(), pem.data(), static_cast<int>(pem.size()));
  pem.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
  return pem;
}

// "vormetra-proxy-" and the start of the certificate's SHA-256 digest in hex, ".crt".
std::string FileNameOf(const SslLibrary& library, const openssl::X509* certificate) {
  const SslFunctions& fn = library.fn();
  unsigned char digest[openssl::kEvpMaxMdSize] = {};
  unsigned int length = 0;
  if (fn.X509_digest(certificate, fn.EVP_sha256(), digest, &length) != 1 ||
      length < kFileNameDigestBytes)
    return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = kFileNamePrefix;
  for (std::size_t i = 0; i < kFileNameDigestBytes; ++i) {
    name += kHex[digest[i] >> 4];
    name += kHex[digest[i] & 0xF];
  }
  return name + kFileNameExtension;
}

// The system store "Root": one PEM file per local root in the folder, then the bundle rebuilt.
class TrustFolderStore : public platform::CertStore {
 public:
  TrustFolderStore(Library library, platform::TrustStoreFiles files)
      : library_(std::move(library)), files_(std::move(files)) {}

  bool AddEncodedCertificate(const std::string& der) override {
    std::string pem;
    std::string path = PathOf(der, pem);
    if (path.empty()) return false;
    bool existed = platform::FileExists(path);
    try {
      if (!platform::ForceDirectories(files_.folder)) return false;
      platform::ReplaceFileBytes(path, pem);
    } catch (const Error&) {
      return false;  // no rights to the folder
    }
    if (platform::RunTrustStoreUpdate(files_.update_command)) return true;
    // Left in the folder, the root would become trusted at the machine's next update, although
    // this add answered that it was not installed.
    if (!existed) {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
    return false;
  }

  // The add leaves the file in the folder only when the bundle was rebuilt with it.
  bool HoldsEncodedCertificate(const std::string& der) override {
    std::string pem;
    std::string path = PathOf(der, pem);
    if (path.empty() || !platform::FileExists(path)) return false;
    try {
      return platform::ReadFileBytes(path) == pem;
    } catch (const Error&) {
      return false;
    }
  }

  bool RemoveEncodedCertificate(const std::string& der) override {
    std::string pem;
    std::string path = PathOf(der, pem);
    if (path.empty()) return false;
    if (!platform::FileExists(path)) return true;
    std::error_code failed;
    if (!std::filesystem::remove(path, failed)) return false;  // no rights to the folder
    return platform::RunTrustStoreUpdate(files_.update_command);
  }

 private:
  // The file in the folder that holds the certificate, and its PEM text; empty when the bytes are
  // not one DER certificate.
  std::string PathOf(const std::string& der, std::string& pem) const {
    SslOwned<openssl::X509> certificate = ParseDer(library_, der);
    if (!certificate) return {};
    pem = PemOf(library_, certificate.get());
    std::string name = FileNameOf(*library_, certificate.get());
    library_->ClearErrors();
    if (pem.empty() || name.empty()) return {};
    return platform::IncludeTrailingDelimiter(files_.folder) + name;
  }

  Library library_;
  platform::TrustStoreFiles files_;
};

// What a PKCS #12 file held, plus what is added; gone with its owner, as an imported store is.
class MemoryStore : public platform::CertStore {
 public:
  MemoryStore(Library library, std::vector<std::string> certificates)
      : library_(std::move(library)), certificates_(std::move(certificates)) {}

  bool AddEncodedCertificate(const std::string& der) override {
    if (!ParseDer(library_, der)) return false;
    if (std::find(certificates_.begin(), certificates_.end(), der) == certificates_.end())
      certificates_.push_back(der);
    return true;
  }

  bool HoldsEncodedCertificate(const std::string& der) override {
    return std::find(certificates_.begin(), certificates_.end(), der) != certificates_.end();
  }

  bool RemoveEncodedCertificate(const std::string& der) override {
    if (!ParseDer(library_, der)) return false;
    std::erase(certificates_, der);
    return true;
  }

 private:
  Library library_;
  std::vector<std::string> certificates_;
};

class FileCertContext : public platform::CertContext {
 public:
  explicit FileCertContext(SslOwned<openssl::X509> certificate)
      : certificate_(std::move(certificate)) {}

  const Library& library() const { return certificate_.library(); }
  openssl::X509* get() const { return certificate_.get(); }

 private:
  SslOwned<openssl::X509> certificate_;
};

class BundleChain : public platform::CertChain {
 public:
  // Holds a reference of its own to the certificate, so it may outlive the context.
  BundleChain(Library library, SslOwned<openssl::X509_STORE> roots, openssl::X509* certificate)
      : library_(std::move(library)),
        roots_(std::move(roots)),
        certificate_(library_, certificate) {
    library_->fn().X509_up_ref(certificate);
  }

  // A fresh verification context for every check, since one serves a single verification.
  bool VerifySslServerPolicy(const std::string& server_name) const override {
    const SslFunctions& fn = library_->fn();
    SslOwned<openssl::X509_STORE_CTX> check(library_, fn.X509_STORE_CTX_new());
    if (!check ||
        fn.X509_STORE_CTX_init(check.get(), roots_.get(), certificate_.get(), nullptr) != 1 ||
        fn.X509_STORE_CTX_set_purpose(check.get(), openssl::kX509PurposeSslServer) != 1 ||
        !SetName(check.get(), server_name)) {
      library_->ClearErrors();
      return false;
    }
    bool trusted = fn.X509_verify_cert(check.get()) == 1;
    library_->ClearErrors();
    return trusted;
  }

 private:
  // An address text is matched against the certificate's IP addresses, anything else against its
  // DNS names; no name, no check.
  bool SetName(openssl::X509_STORE_CTX* check, const std::string& server_name) const {
    if (server_name.empty()) return true;
    const SslFunctions& fn = library_->fn();
    openssl::X509_VERIFY_PARAM* param = fn.X509_STORE_CTX_get0_param(check);
    if (fn.X509_VERIFY_PARAM_set1_ip_asc(param, server_name.c_str()) == 1) return true;
    return fn.X509_VERIFY_PARAM_set1_host(param, server_name.data(), server_name.size()) == 1;
  }

  Library library_;
  SslOwned<openssl::X509_STORE> roots_;
  SslOwned<openssl::X509> certificate_;
};

std::vector<std::string> CertificatesOfPkcs12(const SslLibrary& library, openssl::X509* certificate,
                                              openssl::X509_STACK* authorities) {
  const SslFunctions& fn = library.fn();
  std::vector<std::string> certificates;
  if (certificate) certificates.push_back(DerOf(library, certificate));
  int count = authorities ? fn.OPENSSL_sk_num(authorities) : 0;
  for (int i = 0; i < count; ++i) {
    auto* authority = static_cast<openssl::X509*>(fn.OPENSSL_sk_value(authorities, i));
    if (authority) certificates.push_back(DerOf(library, authority));
  }
  return certificates;
}

// The folder itself, or the nearest of its parents that exists: where a new folder would be made.
// Empty when a file stands in the way, since then no folder can be made at all.
std::string NearestExistingFolder(std::string folder) {
  while (!folder.empty() && !platform::DirectoryExists(folder)) {
    while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    if (platform::FileExists(folder)) return {};
    folder = platform::ExtractFileDir(folder);
  }
  return folder;
}

// The certificates of a PKCS #12 file, in DER; nothing when it does not open with the password.
std::optional<std::vector<std::string>> OpenPkcs12(const Library& library, const std::string& pfx,
                                                   const std::string& password) {
  const SslFunctions& fn = library->fn();
  const auto* next = reinterpret_cast<const unsigned char*>(pfx.data());
  SslOwned<openssl::PKCS12> pkcs12(library,
                                   fn.d2i_PKCS12(nullptr, &next, static_cast<long>(pfx.size())));
  if (!pkcs12) return std::nullopt;
  openssl::EVP_PKEY* key = nullptr;
  openssl::X509* certificate = nullptr;
  openssl::X509_STACK* authorities = nullptr;
  // An empty password opens files made without one as well as files made with the empty one.
  bool opened =
      fn.PKCS12_parse(pkcs12.get(), password.c_str(), &key, &certificate, &authorities) == 1;
  // Whatever the parse handed out is ours, whether it succeeded or not.
  SslOwned<openssl::EVP_PKEY> owned_key(library, key);
  SslOwned<openssl::X509> owned_certificate(library, certificate);
  SslOwned<openssl::X509_STACK> owned_authorities(library, authorities);
  if (!opened) return std::nullopt;
  return CertificatesOfPkcs12(*library, certificate, authorities);
}

}  // namespace

std::unique_ptr<platform::CertStore> FileCertService::OpenSystemStore(const std::string& name) {
  if (!EqualsNoCase(name, kRootStoreName)) return nullptr;
  platform::TrustStoreFiles files = platform::CurrentTrustStoreFiles();
  if (files.folder.empty()) return nullptr;
  Library library = LoadLibrary();
  if (!library) return nullptr;
  return std::make_unique<TrustFolderStore>(std::move(library), std::move(files));
}

bool FileCertService::MayChangeSystemStore(const std::string&) {
  platform::TrustStoreFiles files = platform::CurrentTrustStoreFiles();
  return platform::CanCreateFileIn(NearestExistingFolder(files.folder)) &&
         platform::CanCreateFileIn(platform::ExtractFileDir(files.bundle));
}

std::unique_ptr<platform::CertStore> FileCertService::ImportPfxStore(const std::string& pfx,
                                                                     const std::string& password) {
  Library library = LoadLibrary();
  if (!library || pfx.empty() ||
      pfx.size() > static_cast<std::size_t>(std::numeric_limits<long>::max()))
    return nullptr;
  library->ClearErrors();
  std::optional<std::vector<std::string>> certificates = OpenPkcs12(library, pfx, password);
  library->ClearErrors();
  if (!certificates) return nullptr;
  return std::make_unique<MemoryStore>(std::move(library), std::move(*certificates));
}

std::unique_ptr<platform::CertContext> FileCertService::CreateCertContext(const std::string& der) {
  Library library = LoadLibrary();
  if (!library) return nullptr;
  SslOwned<openssl::X509> certificate = ParseDer(library, der);
  if (!certificate) return nullptr;
  return std::make_unique<FileCertContext>(std::move(certificate));
}

std::unique_ptr<platform::CertChain> FileCertService::GetServerAuthChain(
    const platform::CertContext& context) {
  const auto& file_context = static_cast<const FileCertContext&>(context);
  const Library& library = file_context.library();
  const SslFunctions& fn = library->fn();
  platform::TrustStoreFiles files = platform::CurrentTrustStoreFiles();
  SslOwned<openssl::X509_STORE> roots(library, fn.X509_STORE_new());
  bool loaded = roots && !files.bundle.empty() &&
                fn.X509_STORE_load_file(roots.get(), files.bundle.c_str()) == 1;
  library->ClearErrors();
  if (!loaded) return nullptr;
  return std::make_unique<BundleChain>(library, std::move(roots), file_context.get());
}

}  // namespace vp
