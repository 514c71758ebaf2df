// The Windows half of the certificate seam: CryptoAPI (crypt32) stores and its chain engine.
#include "platform/CertStore.h"

#include <limits>
#include <utility>

#include "platform/CertStoreNative.h"
#include "platform/win32/Handles.h"
#include "platform/win32/WideText.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

// X.509 ASN.1 together with PKCS #7 ASN.1 (0x10001), for every call that takes an encoding.
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// SECURITY_FLAG_IGNORE_CERT_CN_INVALID, from wininet.h, which nothing else here needs.
constexpr DWORD kIgnoreCertNameInvalid = 0x1000;
constexpr int kMaxCopies = 8;

// Asked for in this order, any one sufficing: TLS web server authentication, server gated
// cryptography, and Netscape's older server gated cryptography.
char kServerAuthUsage[] = "1.3.6.1.5.5.7.3.1";
char kServerGatedCryptoUsage[] = "1.3.6.1.4.1.311.10.3.3";
char kNetscapeServerGatedCryptoUsage[] = "2.16.840.1.113730.4.1";

bool FitsDword(const std::string& bytes) {
  return bytes.size() <= std::numeric_limits<DWORD>::max();
}

BYTE* BytesOf(const std::string& bytes) {
  return reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()));
}

class Win32CertStore : public CertStore {
 public:
  explicit Win32CertStore(UniqueCertStore store) : store_(std::move(store)) {}

  // For the current user's "Root" store Windows asks the user to confirm; a refusal fails here.
  bool AddEncodedCertificate(const std::string& der) override {
    if (!FitsDword(der)) return false;
    PCCERT_CONTEXT added = nullptr;
    BOOL ok = CertAddEncodedCertificateToStore(store_.get(), kEncoding, BytesOf(der),
                                               static_cast<DWORD>(der.size()),
                                               CERT_STORE_ADD_REPLACE_EXISTING, &added);
    UniqueCertContext added_owner(added);
    return ok != FALSE;
  }

  bool HoldsEncodedCertificate(const std::string& der) override {
    UniqueCertContext wanted = ContextOf(der);
    if (!wanted) return false;
    UniqueCertContext found(CertFindCertificateInStore(store_.get(), kEncoding, 0,
                                                       CERT_FIND_EXISTING, wanted.get(), nullptr));
    return static_cast<bool>(found);
  }

  // For the current user's "Root" store Windows asks the user to confirm each removal.
  bool RemoveEncodedCertificate(const std::string& der) override {
    UniqueCertContext wanted = ContextOf(der);
    if (!wanted) return false;
    // A store holds a certificate once, but a removal that did not take must not loop forever.
    for (int copies = 0; copies < kMaxCopies; ++copies) {
      PCCERT_CONTEXT found = CertFindCertificateInStore(store_.get(), kEncoding, 0,
                                                        CERT_FIND_EXISTING, wanted.get(), nullptr);
      if (found == nullptr) {
        // Wine keeps a removal in memory until the store is committed; Windows has written it
        // already, so whatever the commit answers there, the removal stands.
        if (copies > 0) CertControlStore(store_.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
        return true;
      }
      // Frees the context it is given, whether it removes the certificate or not.
      if (!CertDeleteCertificateFromStore(found)) return false;
    }
    return false;
  }

 private:
  static UniqueCertContext ContextOf(const std::string& der) {
    if (!FitsDword(der)) return UniqueCertContext();
    return UniqueCertContext(
        CertCreateCertificateContext(kEncoding, BytesOf(der), static_cast<DWORD>(der.size())));
  }

  UniqueCertStore store_;
};

class Win32CertContext : public CertContext {
 public:
  explicit Win32CertContext(UniqueCertContext context) : context_(std::move(context)) {}

  PCCERT_CONTEXT get() const { return context_.get(); }

 private:
  UniqueCertContext context_;
};

class Win32CertChain : public CertChain {
 public:
  explicit Win32CertChain(UniqueCertChain chain) : chain_(std::move(chain)) {}

  bool VerifySslServerPolicy(const std::string& server_name) const override {
    std::wstring name = WideFromAnsi(server_name);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = server_name.empty() ? kIgnoreCertNameInvalid : 0;
    ssl.pwszServerName = name.data();
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.dwFlags = 0;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain_.get(), &policy, &status) ||
        status.dwError != 0)
      return false;
    // Windows answers CERT_E_CHAINING for a chain that stops short of any root, but Wine's SSL
    // policy lets it pass; and a name that a CA's constraint does not permit is in the chain's
    // status but not always in the policy's answer. Checked here, so that both refuse either.
    constexpr DWORD kRefused =
        CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_INVALID_NAME_CONSTRAINTS |
        CERT_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT | CERT_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT |
        CERT_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT | CERT_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT;
    return (chain_.get()->TrustStatus.dwErrorStatus & kRefused) == 0;
  }

 private:
  UniqueCertChain chain_;
};

class CryptoApiService : public CertService {
 public:
  std::unique_ptr<CertStore> OpenSystemStore(const std::string& name) override {
    UniqueCertStore store(CertOpenSystemStoreA(0, name.c_str()));
    if (!store) return nullptr;
    return std::make_unique<Win32CertStore>(std::move(store));
  }

  // The current user's stores are the user's own; Windows asks for a root's consent itself.
  bool MayChangeSystemStore(const std::string&) override { return true; }

  std::unique_ptr<CertStore> ImportPfxStore(const std::string& pfx,
                                            const std::string& password) override {
    if (!FitsDword(pfx)) return nullptr;
    CRYPT_DATA_BLOB blob = {static_cast<DWORD>(pfx.size()), BytesOf(pfx)};
    std::wstring wide = WideFromAnsi(password);
    UniqueCertStore store(PFXImportCertStore(&blob, wide.c_str(), 0));
    if (!store) return nullptr;
    return std::make_unique<Win32CertStore>(std::move(store));
  }

  std::unique_ptr<CertContext> CreateCertContext(const std::string& der) override {
    if (!FitsDword(der)) return nullptr;
    UniqueCertContext context(
        CertCreateCertificateContext(kEncoding, BytesOf(der), static_cast<DWORD>(der.size())));
    if (!context) return nullptr;
    return std::make_unique<Win32CertContext>(std::move(context));
  }

  // The current user's default chain engine, the present time, no extra store, and no revocation
  // checks asked for.
  std::unique_ptr<CertChain> GetServerAuthChain(const CertContext& context) override {
    LPSTR usages[] = {kServerAuthUsage, kServerGatedCryptoUsage, kNetscapeServerGatedCryptoUsage};
    CERT_CHAIN_PARA parameters = {};
    parameters.cbSize = sizeof parameters;
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    parameters.RequestedUsage.Usage.cUsageIdentifier = sizeof usages / sizeof usages[0];
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, static_cast<const Win32CertContext&>(context).get(),
                                 nullptr, nullptr, &parameters, 0, nullptr, &chain) ||
        !chain)
      return nullptr;
    return std::make_unique<Win32CertChain>(UniqueCertChain(chain));
  }
};

}  // namespace

CertService* NativeCertService() {
  static CryptoApiService service;
  return &service;
}

// Windows keeps its roots in CryptoAPI stores, not in files.
TrustStoreFiles NativeTrustStoreFiles() { return {}; }

bool RunTrustStoreUpdate(const std::string&) { return false; }

}  // namespace vp::platform
