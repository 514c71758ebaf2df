// Making the root and its server certificates with the loaded TLS library.
#include "tls/LocalAuthority.h"

#include <array>
#include <cstddef>

#include "base/Error.h"

namespace vp {
namespace {

constexpr int kKeyBits = 2048;
constexpr long kValidSeconds = 10L * 365 * 24 * 60 * 60;  // fits a 32-bit long
constexpr long kBackdateSeconds = 60 * 60;
constexpr const char* kOrganisation = "Vormetra Proxy";
constexpr const char* kRootCommonName = "Vormetra Proxy Local Root CA";

class Maker {
 public:
  explicit Maker(std::shared_ptr<const SslLibrary> library)
      : library_(std::move(library)), fn_(library_->fn()) {
    library_->ClearErrors();
  }

  [[noreturn]] void Fail() const {
    throw Error(ErrorKind::kSsl, kMsgCouldNotMakeCertificate, library_->TakeErrorText());
  }
  void Check(bool ok) const {
    if (!ok) Fail();
  }

  SslOwned<openssl::EVP_PKEY> NewKey() const {
    SslOwned<openssl::EVP_PKEY_CTX> context(
        library_, fn_.EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    Check(context && fn_.EVP_PKEY_keygen_init(context.get()) > 0 &&
          fn_.EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), kKeyBits) > 0);
    openssl::EVP_PKEY* key = nullptr;
    Check(fn_.EVP_PKEY_generate(context.get(), &key) > 0);
    return {library_, key};
  }

  // A certificate with a random serial, the subject's names and key, not yet signed.
  SslOwned<openssl::X509> NewCertificate(openssl::EVP_PKEY* key, const std::string& organisation,
                                         const std::string& common_name) const {
    SslOwned<openssl::X509> certificate(library_, fn_.X509_new());
    Check(static_cast<bool>(certificate));
    openssl::X509* x = certificate.get();
    // Sixteen random bytes, positive and with no leading zero byte, as the serial's content.
    std::array<unsigned char, 16> serial{};
    Check(fn_.RAND_bytes(serial.data(), static_cast<int>(serial.size())) == 1);
    serial[0] = static_cast<unsigned char>((serial[0] & 0x7F) | 0x40);
    openssl::X509_NAME* name = fn_.X509_get_subject_name(x);
    Check(fn_.X509_set_version(x, openssl::kX509Version3) == 1 &&
          fn_.ASN1_STRING_set(fn_.X509_get_serialNumber(x), serial.data(),
                              static_cast<int>(serial.size())) == 1 &&
          fn_.X509_gmtime_adj(fn_.X509_getm_notBefore(x), -kBackdateSeconds) != nullptr &&
          fn_.X509_gmtime_adj(fn_.X509_getm_notAfter(x), kValidSeconds) != nullptr &&
          fn_.X509_set_pubkey(x, key) == 1 &&
          (organisation.empty() || AddName(name, "O", organisation)) &&
          AddName(name, "CN", common_name));
    return certificate;
  }

  // Adds the extensions, given as the configuration file would name them, and signs.
  void Finish(openssl::X509* certificate, openssl::X509* issuer, openssl::EVP_PKEY* issuer_key,
              const std::vector<std::pair<const char*, std::string>>& extensions) const {
    // Zeroed, so the context has no configuration database.
    alignas(std::max_align_t) std::array<unsigned char, openssl::kX509v3CtxSize> storage{};
    auto* context = reinterpret_cast<openssl::X509V3_CTX*>(storage.data());
    fn_.X509V3_set_ctx(context, issuer, certificate, nullptr, nullptr, 0);
    for (const auto& [name, value] : extensions) {
      SslOwned<openssl::X509_EXTENSION> extension(
          library_, fn_.X509V3_EXT_nconf(nullptr, context, name, value.c_str()));
      Check(extension && fn_.X509_add_ext(certificate, extension.get(), -1) == 1);
    }
    Check(fn_.X509_set_issuer_name(certificate, fn_.X509_get_subject_name(issuer)) == 1 &&
          fn_.X509_sign(certificate, issuer_key, fn_.EVP_sha256()) > 0);
  }

  std::string Der(const openssl::X509* certificate) const {
    int length = fn_.i2d_X509(certificate, nullptr);
    Check(length > 0);
    std::string der(static_cast<std::size_t>(length), '\0');
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    Check(fn_.i2d_X509(certificate, &out) == length);
    return der;
  }

  std::string CertificatePem(const openssl::X509* certificate) const {
    SslOwned<openssl::BIO> bio = MemoryBio();
    Check(fn_.PEM_write_bio_X509(bio.get(), certificate) == 1);
    return Drain(bio.get());
  }

  std::string KeyPem(const openssl::EVP_PKEY* key) const {
    SslOwned<openssl::BIO> bio = MemoryBio();
    Check(fn_.PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1);
    return Drain(bio.get());
  }

 private:
  bool AddName(openssl::X509_NAME* name, const char* field, const std::string& value) const {
    return fn_.X509_NAME_add_entry_by_txt(name, field, openssl::kMbstringAsc,
                                          reinterpret_cast<const unsigned char*>(value.data()),
                                          static_cast<int>(value.size()), -1, 0) == 1;
  }

  SslOwned<openssl::BIO> MemoryBio() const {
    SslOwned<openssl::BIO> bio(library_, fn_.BIO_new(fn_.BIO_s_mem()));
    Check(static_cast<bool>(bio));
    return bio;
  }

  std::string Drain(openssl::BIO* bio) const {
    std::string text(fn_.BIO_ctrl_pending(bio), '\0');
    Check(fn_.BIO_read(bio, text.data(), static_cast<int>(text.size())) ==
          static_cast<int>(text.size()));
    return text;
  }

  std::shared_ptr<const SslLibrary> library_;
  const SslFunctions& fn_;
};

// Letters, digits, dots and hyphens only: anything else could carry further names or options into
// the extension's text.
void CheckDnsName(const std::string& host) {
  bool ok = !host.empty();
  for (char c : host)
    ok = ok && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '.' || c == '-');
  if (!ok) throw Error(ErrorKind::kSsl, kMsgCouldNotMakeCertificate, "not a DNS name: " + host);
}

std::string NameConstraints(const std::vector<std::string>& hosts) {
  std::string value;
  for (const std::string& host : hosts) {
    CheckDnsName(host);
    if (!value.empty()) value += ',';
    value += "permitted;DNS:" + host;
  }
  return value;
}

}  // namespace

LocalAuthority::LocalAuthority(const std::vector<std::string>& permitted_hosts)
    : library_(SslLibrary::Get()) {
  std::string constraints = NameConstraints(permitted_hosts);
  // A root with no permitted name would vouch for every name.
  if (constraints.empty()) throw Error(ErrorKind::kSsl, kMsgCouldNotMakeCertificate, "no host");
  Maker maker(library_);
  key_ = maker.NewKey();
  root_ = maker.NewCertificate(key_.get(), kOrganisation, kRootCommonName);
  maker.Finish(root_.get(), root_.get(), key_.get(),
               {{"basicConstraints", "critical,CA:TRUE,pathlen:0"},
                {"keyUsage", "critical,keyCertSign,cRLSign"},
                {"subjectKeyIdentifier", "hash"},
                {"nameConstraints", constraints}});
}

std::string LocalAuthority::RootDer() const { return Maker(library_).Der(root_.get()); }

IssuedCertificate LocalAuthority::Issue(const std::string& host) const {
  CheckDnsName(host);
  Maker maker(library_);
  SslOwned<openssl::EVP_PKEY> key = maker.NewKey();
  // The host's name alone: a subject name of another form would be one more name for a chain
  // engine to hold against the root's constraint.
  SslOwned<openssl::X509> certificate = maker.NewCertificate(key.get(), "", host);
  maker.Finish(certificate.get(), root_.get(), key_.get(),
               {{"basicConstraints", "critical,CA:FALSE"},
                {"keyUsage", "critical,digitalSignature,keyEncipherment"},
                {"extendedKeyUsage", "serverAuth"},
                {"subjectAltName", "DNS:" + host},
                {"subjectKeyIdentifier", "hash"},
                {"authorityKeyIdentifier", "keyid"}});
  return {maker.CertificatePem(certificate.get()), maker.KeyPem(key.get())};
}

}  // namespace vp
