// The root certificate installer over the platform's certificate service: the operating system's
// own where it has one, the trust store files worked through the TLS library elsewhere.
#include "host/KesCertStore.h"

#include "base/Error.h"
#include "host/FileCertService.h"
#include "platform/FileSystem.h"
#include "proxy/KesHttp.h"
#include "tls/SslLibrary.h"

namespace vp {
namespace {

constexpr const char* kPfxExtension = ".pfx";

platform::CertService& MachineCertService() {
  if (platform::CertService* native = platform::NativeCertService()) return *native;
  static FileCertService files;
  return files;
}

// The text from the last full stop of the file name on, or "" when the name has none.
std::string ExtensionOf(const std::string& name) {
  std::size_t dot = name.find_last_of(".\\/:");
  if (dot == std::string::npos || name[dot] != '.') return {};
  return name.substr(dot);
}

}  // namespace

bool TKesCertStore::AddCertificateFile(const std::string& file_name,
                                       const std::string& store_name) {
  if (!platform::FileExists(file_name)) return false;
  std::string bytes = platform::ReadFileBytes(file_name);
  return AddCertificateStream(bytes, store_name);
}

bool TKesCertStore::MayChangeStore(const std::string& store_name) {
  if (ExtensionOf(store_name) == kPfxExtension) return true;
  return MachineCertService().MayChangeSystemStore(store_name);
}

bool TKesCertStore::HoldsCertificateFile(const std::string& file_name,
                                         const std::string& store_name) {
  if (!platform::FileExists(file_name)) return false;
  std::unique_ptr<platform::CertStore> store = OpenStore(store_name, "");
  try {
    return store && store->HoldsEncodedCertificate(platform::ReadFileBytes(file_name));
  } catch (const Error&) {
    return false;
  }
}

bool TKesCertStore::RemoveCertificateFile(const std::string& file_name,
                                          const std::string& store_name) {
  if (!platform::FileExists(file_name)) return false;
  std::unique_ptr<platform::CertStore> store = OpenStore(store_name, "");
  return store && store->RemoveEncodedCertificate(platform::ReadFileBytes(file_name));
}

bool TKesCertStore::AddCertificateStream(std::string_view stream, const std::string& store_name) {
  std::unique_ptr<platform::CertStore> store = OpenStore(store_name, "");
  if (!store) return false;
  return store->AddEncodedCertificate(std::string(stream));
}

std::unique_ptr<platform::CertStore> TKesCertStore::OpenStore(const std::string& store_name,
                                                              const std::string& password) {
  if (ExtensionOf(store_name) == kPfxExtension) return OpenPFXStore(store_name, password);
  return MachineCertService().OpenSystemStore(store_name);
}

std::unique_ptr<platform::CertStore> TKesCertStore::OpenPFXStore(const std::string& path,
                                                                 const std::string& password) {
  if (!platform::FileExists(path)) return nullptr;
  return MachineCertService().ImportPfxStore(platform::ReadFileBytes(path), password);
}

bool TKesCertStore::VerifyX509(SslCertificateHandle certificate, const std::string& server_name) {
  std::unique_ptr<platform::CertContext> context = CertContextFromX509(certificate);
  return VerifyServerChain(context.get(), server_name);
}

std::unique_ptr<platform::CertContext> TKesCertStore::CertContextFromX509(
    SslCertificateHandle certificate) {
  if (!certificate) return nullptr;
  std::shared_ptr<const SslLibrary> library;
  try {
    library = SslLibrary::Get();
  } catch (const Error&) {
    return nullptr;  // the encoder is not loaded
  }
  const SslFunctions& fn = library->fn();
  const auto* x509 = static_cast<const openssl::X509*>(certificate);
  int length = fn.i2d_X509(x509, nullptr);
  if (length <= 0) return nullptr;
  std::string der(static_cast<std::size_t>(length), '\0');
  auto* out = reinterpret_cast<unsigned char*>(der.data());
  if (fn.i2d_X509(x509, &out) != length) return nullptr;
  return MachineCertService().CreateCertContext(der);
}

std::unique_ptr<platform::CertChain> TKesCertStore::GetServerAuthChain(
    const platform::CertContext& context) {
  return MachineCertService().GetServerAuthChain(context);
}

bool TKesCertStore::VerifyServerChain(const platform::CertContext* context,
                                      const std::string& server_name) {
  if (!context) return false;
  std::unique_ptr<platform::CertChain> chain = GetServerAuthChain(*context);
  if (!chain) return false;
  return chain->VerifySslServerPolicy(server_name);
}

void UseCertStoreForForwarderTrust() {
  TKesHttp::SetTrustCheck([](SslCertificateHandle certificate, const std::string& host) {
    return TKesCertStore().VerifyX509(certificate, host);
  });
}

}  // namespace vp
