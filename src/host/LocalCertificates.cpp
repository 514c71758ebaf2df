// The five files of the HTTPS modes, made with the loaded TLS library.
#include "host/LocalCertificates.h"

#include <array>
#include <utility>

#include "base/Error.h"
#include "host/CommonProc.h"
#include "host/KesCertStore.h"
#include "platform/FileSystem.h"
#include "proxy/ProxyServer.h"
#include "proxy/ProxySettings.h"
#include "tls/LocalAuthority.h"

namespace vp {
namespace {

constexpr const char* kRootFile = "fakeFinaCA.crt";
constexpr std::array<const char*, 5> kFiles = {kRootFile, "fakeFinaTest.crt", "fakeFinaTest.key",
                                               "fakeFina.crt", "fakeFina.key"};

std::string RootBytes() {
  std::string path = AppFilePath(kRootFile);
  return platform::FileExists(path) ? platform::ReadFileBytes(path) : std::string();
}

}  // namespace

bool CertificateFilesPresent() {
  for (const char* name : kFiles)
    if (!platform::FileExists(AppFilePath(name))) return false;
  return true;
}

void WriteCertificateFiles(const std::string& folder, const std::string& test_host,
                           const std::string& production_host) {
  LocalAuthority authority({test_host, production_host});
  IssuedCertificate test = authority.Issue(test_host);
  IssuedCertificate production = authority.Issue(production_host);
  std::string root = authority.RootDer();
  // The root last: a write that fails before it leaves the installed root's files in place.
  const std::array<std::pair<const char*, const std::string*>, 5> contents = {{
      {kFiles[1], &test.certificate_pem},
      {kFiles[2], &test.key_pem},
      {kFiles[3], &production.certificate_pem},
      {kFiles[4], &production.key_pem},
      {kRootFile, &root},
  }};
  std::string prefix = platform::IncludeTrailingDelimiter(folder);
  for (const auto& [name, bytes] : contents) platform::ReplaceFileBytes(prefix + name, *bytes);
}

void RemoveRootFromStore() {
  std::string path = AppFilePath(kRootFile);
  if (!platform::FileExists(path)) return;
  if (!TKesCertStore().RemoveCertificateFile(path, "Root"))
    throw Error(ErrorKind::kSystem, kMsgRootNotRemoved);
}

bool MakeCertificateFiles() {
  std::string folder = AppFileFolder();
  // A folder under the data folder may not exist yet; without the rights to make it, the
  // elevated copy does.
  platform::ForceDirectories(folder);
  if (!platform::CanCreateFileIn(folder)) {
    // The elevated copy reports its own errors; a new root tells that it made a whole set.
    std::string root_before = RootBytes();
    RelaunchWithSwitch(kSwitchCerts, false);
    return CertificateFilesPresent() && RootBytes() != root_before;
  }
  TProxySettings settings;
  try {
    WriteCertificateFiles(folder, HostOfURL(settings.URLTest.get()),
                          HostOfURL(settings.URLProduction.get()));
  } catch (const Error& error) {
    std::string reason = error.what();
    if (!error.detail().empty()) reason += " " + error.detail();
    throw Error(error.kind(), std::string(kMsgCertificatesNotMade) + "\n" + reason, error.detail());
  }
  return true;
}

}  // namespace vp
