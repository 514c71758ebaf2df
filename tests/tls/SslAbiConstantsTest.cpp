// The constants the program copies from the TLS library's headers, checked against those headers.
// A value that drifts fails the build here, long before a connection would behave oddly.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstddef>
#include <cstdint>

#include "tls/SslLibrary.h"

namespace vp {
namespace {

// SSL_get_app_data is a macro over SSL_get_ex_data with a fixed slot. This look-alike, found
// before the library's own, turns that slot into a constant.
namespace app_data_probe {
constexpr int SSL_get_ex_data(std::nullptr_t, int index) { return index; }
constexpr int kIndex = SSL_get_app_data(nullptr);
}  // namespace app_data_probe

// An error code as the library packs it: the library number above ERR_LIB_OFFSET, the reason
// below. Decoding it with the copied offset and masks must give back both parts.
constexpr unsigned long kPackedEof = ERR_PACK(ERR_LIB_SSL, 0, SSL_R_UNEXPECTED_EOF_WHILE_READING);
constexpr unsigned long kPackedLib = (kPackedEof >> openssl::kErrLibOffset) & openssl::kErrLibMask;
constexpr unsigned long kPackedReason = kPackedEof & openssl::kErrReasonMask;

// Every constant of vp::openssl, each with the header's own definition of it.
#define VP_ABI_CONSTANTS(X)                                               \
  X(kTls1Version, TLS1_VERSION)                                           \
  X(kTls11Version, TLS1_1_VERSION)                                        \
  X(kTls12Version, TLS1_2_VERSION)                                        \
  X(kSsl3Version, SSL3_VERSION)                                           \
  X(kOpNoSslv3, SSL_OP_NO_SSLv3)                                          \
  X(kOpNoTlsv1, SSL_OP_NO_TLSv1)                                          \
  X(kOpNoTlsv1_2, SSL_OP_NO_TLSv1_2)                                      \
  X(kOpNoTlsv1_1, SSL_OP_NO_TLSv1_1)                                      \
  X(kOpNoTlsv1_3, SSL_OP_NO_TLSv1_3)                                      \
  X(kOpNoTicket, SSL_OP_NO_TICKET)                                        \
  X(kCtrlSessNumber, SSL_CTRL_SESS_NUMBER)                                \
  X(kCtrlMode, SSL_CTRL_MODE)                                             \
  X(kCtrlSetSessCacheSize, SSL_CTRL_SET_SESS_CACHE_SIZE)                  \
  X(kCtrlSetTlsextHostname, SSL_CTRL_SET_TLSEXT_HOSTNAME)                 \
  X(kCtrlSetMinProtoVersion, SSL_CTRL_SET_MIN_PROTO_VERSION)              \
  X(kCtrlSetMaxProtoVersion, SSL_CTRL_SET_MAX_PROTO_VERSION)              \
  X(kModeAutoRetry, SSL_MODE_AUTO_RETRY)                                  \
  X(kTlsextNametypeHostName, TLSEXT_NAMETYPE_host_name)                   \
  X(kFiletypePem, SSL_FILETYPE_PEM)                                       \
  X(kVerifyPeer, SSL_VERIFY_PEER)                                         \
  X(kVerifyFailIfNoPeerCert, SSL_VERIFY_FAIL_IF_NO_PEER_CERT)             \
  X(kVerifyClientOnce, SSL_VERIFY_CLIENT_ONCE)                            \
  X(kErrorNone, SSL_ERROR_NONE)                                           \
  X(kErrorSsl, SSL_ERROR_SSL)                                             \
  X(kErrorWantRead, SSL_ERROR_WANT_READ)                                  \
  X(kErrorWantWrite, SSL_ERROR_WANT_WRITE)                                \
  X(kErrorSyscall, SSL_ERROR_SYSCALL)                                     \
  X(kErrorZeroReturn, SSL_ERROR_ZERO_RETURN)                              \
  X(kAppDataIndex, app_data_probe::kIndex)                                \
  X(kErrLibSsl, ERR_LIB_SSL)                                              \
  X(kErrLibOffset, ERR_LIB_OFFSET)                                        \
  X(kErrLibMask, ERR_LIB_MASK)                                            \
  X(kErrReasonMask, ERR_REASON_MASK)                                      \
  X(kErrSystemFlag, ERR_SYSTEM_FLAG)                                      \
  X(kReasonUnexpectedEofWhileReading, SSL_R_UNEXPECTED_EOF_WHILE_READING) \
  X(kX509PurposeSslServer, X509_PURPOSE_SSL_SERVER)                       \
  X(kEvpMaxMdSize, EVP_MAX_MD_SIZE)                                       \
  X(kMbstringAsc, MBSTRING_ASC)                                           \
  X(kX509Version3, X509_VERSION_3)                                        \
  X(kNameFlagsReadable,                                                   \
    (ASN1_STRFLGS_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) | XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_FN_SN)

// All of them are non-negative, so comparing them as 64-bit unsigned values loses nothing.
template <typename A, typename B>
constexpr bool Same(A ours, B theirs) {
  return static_cast<std::uint64_t>(ours) == static_cast<std::uint64_t>(theirs);
}

#define VP_STATIC_CHECK(ours, theirs) \
  static_assert(Same(openssl::ours, theirs), #ours " differs from " #theirs);
VP_ABI_CONSTANTS(VP_STATIC_CHECK)
#undef VP_STATIC_CHECK

// The program allocates this structure itself, as the library's callers must.
static_assert(sizeof(X509V3_CTX) <= openssl::kX509v3CtxSize);

static_assert(kPackedLib == ERR_LIB_SSL && kPackedReason == SSL_R_UNEXPECTED_EOF_WHILE_READING,
              "the copied offset and masks do not decode the library's error codes");

// The checks above already ran when this file compiled; here they run once more so that the
// suite reports them.
TEST(SslAbiConstants, MatchTheLibraryHeaders) {
#define VP_CHECK(ours, theirs) EXPECT_TRUE(Same(openssl::ours, theirs)) << #ours " vs " #theirs;
  VP_ABI_CONSTANTS(VP_CHECK)
#undef VP_CHECK
  EXPECT_EQ(kPackedLib, openssl::kErrLibSsl);
  EXPECT_EQ(kPackedReason, openssl::kReasonUnexpectedEofWhileReading);
}

}  // namespace
}  // namespace vp
