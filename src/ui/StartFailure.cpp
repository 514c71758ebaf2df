// The error's kind and its first line tell which part is missing; the texts name the files and the
// menu that mend it.
#include "ui/StartFailure.h"

#include "base/Error.h"
#include "platform/CodePage.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"
#include "proxy/ProxyServer.h"
#include "tls/SslContext.h"
#include "tls/SslLibrary.h"

namespace vp {
namespace {

std::string WithoutTrailingDelimiter(std::string folder) {
  if (folder.size() > 1) folder.pop_back();
  return folder;
}

std::string Advice(const Error& error, std::uint16_t own_port) {
  const std::string& message = error.what();
  std::string folder = WithoutTrailingDelimiter(
      platform::Utf8FromAnsi(platform::ExtractFileDir(platform::ProgramFilePath())));
  switch (error.kind()) {
    case ErrorKind::kBind:
      return "Port " + std::to_string(own_port) +
             " već koristi drugi program (možda druga kopija Vormetra Proxyja ili njegov servis). "
             "Zatvorite taj program pa ponovo pokrenite server.";
    case ErrorKind::kSslLibrary:
      return "Uz program nedostaju datoteke biblioteke OpenSSL (" +
             platform::VersionedLibraryFileName("libssl", 3) + " i " +
             platform::VersionedLibraryFileName("libcrypto", 3) + ") u mapi " + folder +
             ". Ponovo instalirajte Vormetra Proxy.";
    case ErrorKind::kSsl:
      if (message.starts_with(kMsgCouldNotLoadCertificate) ||
          message.starts_with(kMsgCouldNotLoadKey))
        return "Nedostaje certifikat ili ključ za https način rada, ili je neispravan. U mapi " +
               WithoutTrailingDelimiter(platform::Utf8FromAnsi(AppFileFolder())) +
               " moraju biti fakeFinaTest.crt i fakeFinaTest.key (način 2) ili fakeFina.crt i "
               "fakeFina.key (način 3). Napravite ih ponovnim izborom načina 2 ili 3 u "
               "Podešavanjima, ili s certs.bat u mapi programa, ili izaberite način rada 1 "
               "(Program, Podešavanja...).";
      return "Postavke TLS-a nisu valjane. Izaberite način rada 1 ili ponovo napravite "
             "certifikate.";
    default:
      return "";
  }
}

}  // namespace

std::string ExplainStartFailure(const std::exception& error, std::uint16_t own_port, bool service) {
  std::string text = service ? "Servis nije pokrenut." : "Server nije pokrenut.";
  if (const auto* known = dynamic_cast<const Error*>(&error)) {
    std::string advice = Advice(*known, own_port);
    if (!advice.empty()) text += " " + advice;
  }
  return text + "\n\n" + platform::Utf8FromAnsi(error.what());
}

}  // namespace vp
