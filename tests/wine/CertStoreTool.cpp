// A Windows test tool of the Wine end-to-end checks: the root certificate installer's two roads,
// each in a process of its own (a chain engine keeps the roots it has seen for the life of its
// process, so a root added by one process is judged afresh only by the next).
//
//   vp-cert-store add FILE STORE     AddCertificateFile; prints "added" or "refused"
//   vp-cert-store verify DER NAME    VerifyX509 of the DER certificate for the server name (""
//                                    for none); prints "trusted" or "untrusted"
// The answer is also the exit code: 0 for added or trusted, 1 for refused or untrusted, 2 for a
// wrong command line or an error.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "host/KesCertStore.h"
#include "platform/FileSystem.h"
#include "tls/SslLibrary.h"

namespace {

int Answer(bool yes, const char* if_yes, const char* if_no) {
  std::puts(yes ? if_yes : if_no);
  return yes ? 0 : 1;
}

int Verify(const std::string& der_file, const std::string& server_name) {
  std::shared_ptr<const vp::SslLibrary> library = vp::SslLibrary::Get();
  std::string der = vp::platform::ReadFileBytes(der_file);
  const auto* next = reinterpret_cast<const unsigned char*>(der.data());
  vp::openssl::X509* certificate =
      library->fn().d2i_X509(nullptr, &next, static_cast<long>(der.size()));
  if (certificate == nullptr) {
    std::fprintf(stderr, "vp-cert-store: %s is not a DER certificate\n", der_file.c_str());
    return 2;
  }
  bool trusted = vp::TKesCertStore().VerifyX509(certificate, server_name);
  library->fn().X509_free(certificate);
  return Answer(trusted, "trusted", "untrusted");
}

int Usage() {
  std::fprintf(stderr, "usage: vp-cert-store add FILE STORE | verify DER NAME\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (argc != 4) return Usage();
  try {
    if (command == "add")
      return Answer(vp::TKesCertStore().AddCertificateFile(argv[2], argv[3]), "added", "refused");
    if (command == "verify") return Verify(argv[2], argv[3]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vp-cert-store: %s\n", error.what());
    return 2;
  }
  return Usage();
}
