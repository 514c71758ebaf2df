// Reading a peer certificate's names, end and host match through the library's table.
#include "tls/PeerCertificate.h"

#include "tls/SslOwned.h"

namespace vp {
namespace {

std::string NameText(const SslContext& context, const openssl::X509_NAME* name) {
  const SslFunctions& fn = context.library().fn();
  SslOwned<openssl::BIO> bio(context.shared_library(), fn.BIO_new(fn.BIO_s_mem()));
  if (!bio || !name || fn.X509_NAME_print_ex(bio.get(), name, 0, openssl::kNameFlagsReadable) < 0)
    return {};
  std::string text(fn.BIO_ctrl_pending(bio.get()), '\0');
  int read = fn.BIO_read(bio.get(), text.data(), static_cast<int>(text.size()));
  text.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
  return text;
}

// A numeric host is matched against the certificate's addresses, a name against its names.
bool NamesHost(const SslFunctions& fn, openssl::X509* certificate, const std::string& host) {
  int by_address = fn.X509_check_ip_asc(certificate, host.c_str(), 0);
  if (by_address != openssl::kCheckIpMalformed) return by_address == 1;
  return fn.X509_check_host(certificate, host.data(), host.size(), 0, nullptr) == 1;
}

}  // namespace

std::optional<PeerCertificate> DescribePeerCertificate(const TlsIOHandler& connection,
                                                       const std::string& host, std::int64_t now) {
  const SslContext& context = connection.context();
  const SslLibrary& library = context.library();
  const SslFunctions& fn = library.fn();
  library.ClearErrors();
  SslOwned<openssl::X509> certificate(context.shared_library(),
                                      fn.SSL_get1_peer_certificate(connection.connection()));
  if (!certificate) return std::nullopt;
  PeerCertificate facts;
  facts.subject = NameText(context, fn.X509_get_subject_name(certificate.get()));
  facts.issuer = NameText(context, fn.X509_get_issuer_name(certificate.get()));
  // From now, which a null start stands for, to the certificate's end.
  int days = 0;
  int seconds = 0;
  if (fn.ASN1_TIME_diff(&days, &seconds, nullptr, fn.X509_getm_notAfter(certificate.get())) == 1)
    facts.not_after = now + std::int64_t{days} * 86400 + seconds;
  facts.names_host = NamesHost(fn, certificate.get(), host);
  library.ClearErrors();
  return facts;
}

}  // namespace vp
