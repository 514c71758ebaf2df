// The TLS library (OpenSSL 3), loaded by name at run time through one function table.
//
// The program never includes OpenSSL's headers: the library's objects are opaque here, the
// functions are pointers bound by name, and the few constants we pass are copied below from
// OpenSSL 3's public headers (they are part of its stable ABI).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vp {

inline constexpr const char* kMsgCouldNotLoadSslLibrary = "Could not load SSL library.";

// Whether both TLS library files can be loaded by name right now; loads and releases them.
bool SslLibraryFilesPresent();

namespace openssl {

// Opaque library objects; only pointers to them ever cross the table.
struct SSL;
struct SSL_CTX;
struct SSL_METHOD;
struct BIO;
struct BIO_METHOD;
struct X509;
struct X509_STORE;
struct X509_STORE_CTX;
struct X509_VERIFY_PARAM;
struct X509_STACK;  // STACK_OF(X509)
struct EVP_MD;
struct PKCS12;
struct X509_NAME_STACK;  // STACK_OF(X509_NAME)
struct EVP_PKEY;
struct EVP_PKEY_CTX;
struct EVP_CIPHER;
struct SSL_SESSION;
struct OPENSSL_INIT_SETTINGS;
struct OSSL_LIB_CTX;
struct ASN1_STRING;  // also ASN1_INTEGER and ASN1_TIME
struct X509_NAME;
struct X509_EXTENSION;
struct X509V3_CTX;
struct CONF;
struct OSSL_PROVIDER;

using InfoCallback = void (*)(const SSL* ssl, int where, int ret);
using VerifyCallback = int (*)(int preverify_ok, X509_STORE_CTX* store);
using PasswordCallback = int (*)(char* buffer, int size, int rwflag, void* userdata);

// Constants of OpenSSL 3's ABI (ssl.h, tls1.h, prov_ssl.h, err.h, sslerr.h, x509.h, x509v3.h,
// evp.h).
inline constexpr int kTls1Version = 0x0301;
inline constexpr int kTls11Version = 0x0302;
inline constexpr int kTls12Version = 0x0303;
inline constexpr int kSsl3Version = 0x0300;
inline constexpr std::uint64_t kOpNoSslv3 = std::uint64_t{1} << 25;
inline constexpr std::uint64_t kOpNoTlsv1 = std::uint64_t{1} << 26;
inline constexpr std::uint64_t kOpNoTlsv1_2 = std::uint64_t{1} << 27;
inline constexpr std::uint64_t kOpNoTlsv1_1 = std::uint64_t{1} << 28;
inline constexpr std::uint64_t kOpNoTlsv1_3 = std::uint64_t{1} << 29;
inline constexpr std::uint64_t kOpNoTicket = std::uint64_t{1} << 14;
inline constexpr int kCtrlSessNumber = 20;
inline constexpr int kCtrlMode = 33;
inline constexpr int kCtrlSetSessCacheSize = 42;
inline constexpr int kCtrlSetTlsextHostname = 55;
inline constexpr int kCtrlSetMinProtoVersion = 123;
inline constexpr int kCtrlSetMaxProtoVersion = 124;
inline constexpr long kModeAutoRetry = 0x4;
inline constexpr long kTlsextNametypeHostName = 0;
inline constexpr int kFiletypePem = 1;
inline constexpr int kVerifyPeer = 0x01;
inline constexpr int kVerifyFailIfNoPeerCert = 0x02;
inline constexpr int kVerifyClientOnce = 0x04;
inline constexpr int kErrorNone = 0;
inline constexpr int kErrorSsl = 1;
inline constexpr int kErrorWantRead = 2;
inline constexpr int kErrorWantWrite = 3;
inline constexpr int kErrorSyscall = 5;
inline constexpr int kErrorZeroReturn = 6;
inline constexpr int kAppDataIndex = 0;  // SSL_get_app_data's ex-data slot
inline constexpr unsigned long kErrLibSsl = 20;
inline constexpr unsigned long kErrLibOffset = 23;
inline constexpr unsigned long kErrLibMask = 0xFF;
inline constexpr unsigned long kErrReasonMask = 0x7FFFFF;
inline constexpr unsigned long kErrSystemFlag = 0x80000000UL;
inline constexpr unsigned long kReasonUnexpectedEofWhileReading = 294;
inline constexpr int kX509PurposeSslServer = 2;
inline constexpr unsigned int kEvpMaxMdSize = 64;
inline constexpr int kMbstringAsc = 0x1001;
inline constexpr long kX509Version3 = 2;
// X509_NAME_print_ex: "C=HR, O=..., CN=host" in the certificate's order, escaped as RFC 2253 asks
// but with letters beyond ASCII kept as UTF-8 (ASN1_STRFLGS_RFC2253 without ASN1_STRFLGS_ESC_MSB,
// XN_FLAG_SEP_CPLUS_SPC, XN_FLAG_FN_SN).
inline constexpr unsigned long kNameFlagsReadable = 0x1 | 0x2 | 0x10 | 0x100 | 0x200 | (2ul << 16);
// X509_check_ip_asc's answer when the text is no numeric address.
inline constexpr int kCheckIpMalformed = -2;
// X509V3_CTX is a plain structure that callers allocate: this is comfortably above its size on
// every platform (eight pointer-sized members in OpenSSL 3).
inline constexpr std::size_t kX509v3CtxSize = 256;

}  // namespace openssl

// Every library function the program calls, named once here: X(return type, name, (parameters))
// each. The lists make both the table's members and the binding by name, so the two cannot drift.
// clang-format off
#define VP_SSL_FUNCTIONS(X)                                                                        \
  X(int, OPENSSL_init_ssl, (std::uint64_t opts, const openssl::OPENSSL_INIT_SETTINGS* settings))   \
  X(const openssl::SSL_METHOD*, TLS_method, ())                                                    \
  X(const openssl::SSL_METHOD*, TLS_server_method, ())                                             \
  X(const openssl::SSL_METHOD*, TLS_client_method, ())                                             \
  X(openssl::SSL_CTX*, SSL_CTX_new_ex,                                                             \
    (openssl::OSSL_LIB_CTX* libctx, const char* propq, const openssl::SSL_METHOD* method))         \
  X(void, SSL_CTX_free, (openssl::SSL_CTX* ctx))                                                   \
  X(long, SSL_CTX_ctrl, (openssl::SSL_CTX* ctx, int cmd, long larg, void* parg))                   \
  X(std::uint64_t, SSL_CTX_set_options, (openssl::SSL_CTX* ctx, std::uint64_t options))            \
  X(void, SSL_CTX_set_security_level, (openssl::SSL_CTX* ctx, int level))                          \
  X(void, SSL_CTX_set_default_passwd_cb, (openssl::SSL_CTX* ctx, openssl::PasswordCallback cb))    \
  X(int, SSL_CTX_set_default_verify_paths, (openssl::SSL_CTX* ctx))                                \
  X(int, SSL_CTX_load_verify_locations,                                                            \
    (openssl::SSL_CTX* ctx, const char* file, const char* dir))                                    \
  X(int, SSL_CTX_use_certificate_file, (openssl::SSL_CTX* ctx, const char* file, int type))        \
  X(int, SSL_CTX_use_PrivateKey_file, (openssl::SSL_CTX* ctx, const char* file, int type))         \
  X(int, SSL_CTX_check_private_key, (const openssl::SSL_CTX* ctx))                                 \
  X(int, SSL_CTX_set0_tmp_dh_pkey, (openssl::SSL_CTX* ctx, openssl::EVP_PKEY* dh))                 \
  X(void, SSL_CTX_set_info_callback, (openssl::SSL_CTX* ctx, openssl::InfoCallback cb))            \
  X(int, SSL_CTX_set_cipher_list, (openssl::SSL_CTX* ctx, const char* list))                       \
  X(void, SSL_CTX_set_verify, (openssl::SSL_CTX* ctx, int mode, openssl::VerifyCallback cb))       \
  X(void, SSL_CTX_set_verify_depth, (openssl::SSL_CTX* ctx, int depth))                            \
  X(int, SSL_CTX_set_session_id_context,                                                           \
    (openssl::SSL_CTX* ctx, const unsigned char* id, unsigned int length))                         \
  X(openssl::X509_NAME_STACK*, SSL_load_client_CA_file, (const char* file))                        \
  X(void, SSL_CTX_set_client_CA_list, (openssl::SSL_CTX* ctx, openssl::X509_NAME_STACK* names))    \
  X(openssl::SSL*, SSL_new, (openssl::SSL_CTX* ctx))                                               \
  X(void, SSL_free, (openssl::SSL* ssl))                                                           \
  X(void, SSL_set_bio, (openssl::SSL* ssl, openssl::BIO* rbio, openssl::BIO* wbio))                \
  X(int, SSL_accept, (openssl::SSL* ssl))                                                          \
  X(int, SSL_connect, (openssl::SSL* ssl))                                                         \
  X(int, SSL_read, (openssl::SSL* ssl, void* buffer, int size))                                    \
  X(int, SSL_peek, (openssl::SSL* ssl, void* buffer, int size))                                    \
  X(int, SSL_write, (openssl::SSL* ssl, const void* data, int size))                               \
  X(int, SSL_pending, (const openssl::SSL* ssl))                                                   \
  X(int, SSL_shutdown, (openssl::SSL* ssl))                                                        \
  X(int, SSL_get_error, (const openssl::SSL* ssl, int ret))                                        \
  X(int, SSL_is_init_finished, (const openssl::SSL* ssl))                                          \
  X(long, SSL_ctrl, (openssl::SSL* ssl, int cmd, long larg, void* parg))                           \
  X(int, SSL_set_ex_data, (openssl::SSL* ssl, int index, void* data))                              \
  X(void*, SSL_get_ex_data, (const openssl::SSL* ssl, int index))                                  \
  X(int, SSL_get_ex_data_X509_STORE_CTX_idx, ())                                                   \
  X(const char*, SSL_get_servername, (const openssl::SSL* ssl, int type))                          \
  X(const char*, SSL_get_version, (const openssl::SSL* ssl))                                       \
  /* Client-side resumption: a finished handshake's session (a new reference), offered again */    \
  /* on the next connection to the same peer. */                                                   \
  X(openssl::SSL_SESSION*, SSL_get1_session, (openssl::SSL* ssl))                                  \
  X(int, SSL_set_session, (openssl::SSL* ssl, openssl::SSL_SESSION* session))                      \
  X(int, SSL_SESSION_is_resumable, (const openssl::SSL_SESSION* session))                          \
  X(void, SSL_SESSION_free, (openssl::SSL_SESSION* session))                                       \
  X(int, SSL_session_reused, (const openssl::SSL* ssl))                                            \
  /* The certificate the peer sent (a new reference), for the connection check's report. */       \
  X(openssl::X509*, SSL_get1_peer_certificate, (const openssl::SSL* ssl))

#define VP_CRYPTO_FUNCTIONS(X)                                                                     \
  X(openssl::OSSL_LIB_CTX*, OSSL_LIB_CTX_new, ())                                                  \
  X(void, OSSL_LIB_CTX_free, (openssl::OSSL_LIB_CTX* libctx))                                      \
  X(openssl::OSSL_PROVIDER*, OSSL_PROVIDER_load,                                                   \
    (openssl::OSSL_LIB_CTX* libctx, const char* name))                                             \
  X(int, OSSL_PROVIDER_unload, (openssl::OSSL_PROVIDER* provider))                                 \
  X(unsigned long, ERR_get_error, ())                                                              \
  X(unsigned long, ERR_peek_error, ())                                                             \
  X(void, ERR_clear_error, ())                                                                     \
  X(void, ERR_error_string_n, (unsigned long error, char* buffer, std::size_t size))               \
  X(const openssl::BIO_METHOD*, BIO_s_mem, ())                                                     \
  X(openssl::BIO*, BIO_new, (const openssl::BIO_METHOD* method))                                   \
  X(openssl::BIO*, BIO_new_file, (const char* file, const char* mode))                             \
  X(int, BIO_free, (openssl::BIO* bio))                                                            \
  X(int, BIO_read, (openssl::BIO* bio, void* buffer, int size))                                    \
  X(int, BIO_write, (openssl::BIO* bio, const void* data, int size))                               \
  X(std::size_t, BIO_ctrl_pending, (openssl::BIO* bio))                                            \
  X(openssl::EVP_PKEY*, PEM_read_bio_Parameters, (openssl::BIO* bio, openssl::EVP_PKEY** out))     \
  X(void, EVP_PKEY_free, (openssl::EVP_PKEY* key))                                                 \
  X(void*, X509_STORE_CTX_get_ex_data, (const openssl::X509_STORE_CTX* store, int index))          \
  X(int, X509_STORE_CTX_get_error, (const openssl::X509_STORE_CTX* store))                         \
  X(int, X509_STORE_CTX_get_error_depth, (const openssl::X509_STORE_CTX* store))                   \
  X(openssl::X509*, X509_STORE_CTX_get_current_cert, (const openssl::X509_STORE_CTX* store))       \
  /* The DER bytes of a certificate: the length alone when out is null, else written at *out, */   \
  /* which moves past them. For the trust store's own check of a peer certificate. */              \
  X(int, i2d_X509, (const openssl::X509* certificate, unsigned char** out))                        \
  /* The trusted roots kept as files where the machine has no certificate service: parsing and */  \
  /* writing certificates, PKCS #12 files, and judging a chain against a bundle of roots. */       \
  X(openssl::X509*, d2i_X509, (openssl::X509** out, const unsigned char** in, long length))        \
  X(void, X509_free, (openssl::X509* certificate))                                                 \
  X(int, X509_up_ref, (openssl::X509* certificate))                                                \
  X(int, PEM_write_bio_X509, (openssl::BIO* bio, const openssl::X509* certificate))                \
  X(const openssl::EVP_MD*, EVP_sha256, ())                                                        \
  X(int, X509_digest,                                                                              \
    (const openssl::X509* certificate, const openssl::EVP_MD* type, unsigned char* digest,         \
     unsigned int* length))                                                                        \
  X(openssl::PKCS12*, d2i_PKCS12, (openssl::PKCS12** out, const unsigned char** in, long length))  \
  X(void, PKCS12_free, (openssl::PKCS12* pkcs12))                                                  \
  X(int, PKCS12_parse,                                                                             \
    (openssl::PKCS12* pkcs12, const char* password, openssl::EVP_PKEY** key,                       \
     openssl::X509** certificate, openssl::X509_STACK** authorities))                              \
  X(int, OPENSSL_sk_num, (const openssl::X509_STACK* stack))                                       \
  X(void*, OPENSSL_sk_value, (const openssl::X509_STACK* stack, int index))                        \
  X(void, OPENSSL_sk_free, (openssl::X509_STACK* stack))                                           \
  X(openssl::X509_STORE*, X509_STORE_new, ())                                                      \
  X(void, X509_STORE_free, (openssl::X509_STORE* store))                                           \
  X(int, X509_STORE_load_file, (openssl::X509_STORE* store, const char* file))                     \
  X(openssl::X509_STORE_CTX*, X509_STORE_CTX_new, ())                                              \
  X(void, X509_STORE_CTX_free, (openssl::X509_STORE_CTX* context))                                 \
  X(int, X509_STORE_CTX_init,                                                                      \
    (openssl::X509_STORE_CTX* context, openssl::X509_STORE* store, openssl::X509* target,          \
     openssl::X509_STACK* untrusted))                                                              \
  X(int, X509_STORE_CTX_set_purpose, (openssl::X509_STORE_CTX* context, int purpose))              \
  X(openssl::X509_VERIFY_PARAM*, X509_STORE_CTX_get0_param,                                        \
    (const openssl::X509_STORE_CTX* context))                                                      \
  X(int, X509_VERIFY_PARAM_set1_host,                                                              \
    (openssl::X509_VERIFY_PARAM* param, const char* name, std::size_t length))                     \
  X(int, X509_VERIFY_PARAM_set1_ip_asc, (openssl::X509_VERIFY_PARAM* param, const char* address))  \
  X(int, X509_verify_cert, (openssl::X509_STORE_CTX* context))                                     \
  /* Making this machine's own root and server certificates. */                                    \
  X(openssl::EVP_PKEY_CTX*, EVP_PKEY_CTX_new_from_name,                                            \
    (openssl::OSSL_LIB_CTX* library, const char* name, const char* properties))                    \
  X(void, EVP_PKEY_CTX_free, (openssl::EVP_PKEY_CTX* context))                                     \
  X(int, EVP_PKEY_keygen_init, (openssl::EVP_PKEY_CTX* context))                                   \
  X(int, EVP_PKEY_CTX_set_rsa_keygen_bits, (openssl::EVP_PKEY_CTX* context, int bits))             \
  X(int, EVP_PKEY_generate, (openssl::EVP_PKEY_CTX* context, openssl::EVP_PKEY** key))             \
  X(int, PEM_write_bio_PrivateKey,                                                                 \
    (openssl::BIO* bio, const openssl::EVP_PKEY* key, const openssl::EVP_CIPHER* cipher,           \
     const unsigned char* password, int length, openssl::PasswordCallback cb, void* userdata))     \
  X(int, RAND_bytes, (unsigned char* buffer, int size))                                            \
  X(openssl::X509*, X509_new, ())                                                                  \
  X(int, X509_set_version, (openssl::X509* certificate, long version))                             \
  X(openssl::ASN1_STRING*, X509_get_serialNumber, (openssl::X509* certificate))                    \
  X(int, ASN1_STRING_set, (openssl::ASN1_STRING* string, const void* data, int length))            \
  X(openssl::ASN1_STRING*, X509_getm_notBefore, (const openssl::X509* certificate))                \
  X(openssl::ASN1_STRING*, X509_getm_notAfter, (const openssl::X509* certificate))                 \
  X(openssl::ASN1_STRING*, X509_gmtime_adj, (openssl::ASN1_STRING* time, long seconds))            \
  X(int, X509_set_pubkey, (openssl::X509* certificate, openssl::EVP_PKEY* key))                    \
  X(openssl::X509_NAME*, X509_get_subject_name, (const openssl::X509* certificate))                \
  X(int, X509_set_issuer_name, (openssl::X509* certificate, const openssl::X509_NAME* name))       \
  X(int, X509_NAME_add_entry_by_txt,                                                               \
    (openssl::X509_NAME* name, const char* field, int type, const unsigned char* bytes,            \
     int length, int location, int set))                                                           \
  X(void, X509V3_set_ctx,                                                                          \
    (openssl::X509V3_CTX* context, openssl::X509* issuer, openssl::X509* subject, void* request,   \
     void* crl, int flags))                                                                        \
  X(openssl::X509_EXTENSION*, X509V3_EXT_nconf,                                                    \
    (openssl::CONF* conf, openssl::X509V3_CTX* context, const char* name, const char* value))      \
  X(int, X509_add_ext, (openssl::X509* certificate, openssl::X509_EXTENSION* extension, int at))   \
  X(void, X509_EXTENSION_free, (openssl::X509_EXTENSION* extension))                               \
  X(int, X509_sign,                                                                                \
    (openssl::X509* certificate, openssl::EVP_PKEY* key, const openssl::EVP_MD* digest))          \
  /* Describing a peer's certificate: its names, its end, and whether it is valid for a host. */   \
  X(openssl::X509_NAME*, X509_get_issuer_name, (const openssl::X509* certificate))                 \
  X(int, X509_NAME_print_ex,                                                                       \
    (openssl::BIO* bio, const openssl::X509_NAME* name, int indent, unsigned long flags))          \
  X(int, ASN1_TIME_diff,                                                                           \
    (int* days, int* seconds, const openssl::ASN1_STRING* from, const openssl::ASN1_STRING* to))   \
  X(int, X509_check_host,                                                                          \
    (openssl::X509* certificate, const char* name, std::size_t length, unsigned int flags,         \
     char** matched))                                                                              \
  X(int, X509_check_ip_asc, (openssl::X509* certificate, const char* address, unsigned int flags))
// clang-format on

// The bound table, one member per function. Loaded once per process; see SslLibrary::Get().
#define VP_DECLARE_SSL_FUNCTION(type, name, params) type(*name) params;
struct SslFunctions {
  VP_SSL_FUNCTIONS(VP_DECLARE_SSL_FUNCTION)
  VP_CRYPTO_FUNCTIONS(VP_DECLARE_SSL_FUNCTION)
};
#undef VP_DECLARE_SSL_FUNCTION

// The loaded library: both files held open, every function bound. Objects that call into the
// library keep a shared reference, so the files stay loaded as long as any of them lives.
class SslLibrary {
 public:
  // Loads the library on first use and hands out the same table afterwards; after a failed load
  // the next call tries again. Thread-safe. Throws ErrorKind::kSslLibrary
  // "Could not load SSL library." with the missing files and functions in the detail.
  static std::shared_ptr<const SslLibrary> Get();

  const SslFunctions& fn() const { return functions_; }

  // Empties the library's error queue of this thread, so that a failure reports its own errors.
  void ClearErrors() const;
  // Takes every queued error of this thread, oldest first, one line each; empty when none.
  std::string TakeErrorText() const;
  // Whether the oldest queued error says the peer closed the connection in mid-record. Leaves the
  // queue as it is.
  bool PeerClosedUnexpectedly() const;

  SslLibrary(const SslLibrary&) = delete;
  SslLibrary& operator=(const SslLibrary&) = delete;
  ~SslLibrary();

  struct Files;

 private:
  SslLibrary(std::unique_ptr<Files> files, const SslFunctions& functions);
  friend std::shared_ptr<const SslLibrary> LoadSslLibrary();

  std::unique_ptr<Files> files_;
  SslFunctions functions_;
};

// The library file names in use: OpenSSL 3's on this platform unless a test set others.
std::string SslLibraryName();
std::string CryptoLibraryName();
// Loads later libraries from these names (a path or a bare name) and forgets the loaded table;
// objects that already hold it keep theirs. Empty names restore the platform's own.
void SetSslLibraryNamesForTesting(const std::string& ssl, const std::string& crypto);

}  // namespace vp
