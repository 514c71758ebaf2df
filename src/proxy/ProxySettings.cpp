// Settings defaults and the settings file.
#include "proxy/ProxySettings.h"

#include "base/Error.h"
#include "json/KesJSON.h"
#include "platform/FileSystem.h"

namespace vp {
namespace {

// The path of the settings file, or empty when the machine-wide data folder is unknown: a relative
// path would put the file in whatever the current folder is (System32 for a service).
std::string SettingsFolder() {
  std::string appdata = platform::CommonAppDataFolder();
  if (appdata.empty()) return {};
  return platform::IncludeTrailingDelimiter(appdata) + kSettingsFolderName;
}

// A settings file that stopped parsing partway would lose every key after the error on the next
// Save, so its bytes are kept beside it first. Throws ErrorKind::kFileCreate when they cannot be,
// rather than go on and destroy them.
void KeepUnreadableSettings(const TKesJsonFile& file) {
  if (file.ParseResult == 0 || !platform::FileExists(file.FileName)) return;
  std::string bytes = platform::ReadFileBytes(file.FileName);
  if (bytes.empty()) return;
  platform::ReplaceFileBytes(platform::ExtractFileDir(file.FileName) + kSettingsBackupFileName,
                             bytes);
}

}  // namespace

TProxySettings::TProxySettings() {
  ResetToDefaults();
  Load();
}

void TProxySettings::ResetToDefaults() {
  Active = false;
  Mode = kDefaultMode;
  IPTest = std::string(kDefaultIPTest);
  IPProduction = std::string(kDefaultIPProduction);
  URLTest = std::string(kDefaultURLTest);
  URLProduction = std::string(kDefaultURLProduction);
  DNSServer = std::string(kDefaultDNSServer);
  CallDNS = false;
}

std::unique_ptr<TKesJsonFile> TProxySettings::OpenSettingsFile() const {
  std::string folder = SettingsFolder();
  if (folder.empty()) return std::make_unique<TKesJsonFile>(std::string());
  // A folder that cannot be made shows when the file is written.
  platform::ForceDirectories(folder);
  return std::make_unique<TKesJsonFile>(folder + platform::PathDelimiter() + kSettingsFileName);
}

void TProxySettings::Load() { ReadFields(*OpenSettingsFile()); }

void TProxySettings::LoadFrom(const std::string& path) {
  // A missing file would read as every default, and be saved as if the user had chosen them.
  if (!platform::FileExists(path)) platform::ReadFileBytes(path);
  ReadFields(TKesJsonFile(path));
}

void TProxySettings::ReadFields(const TKesJsonFile& file) {
  Mode = file.GetInteger("Mode", kDefaultMode);
  URLTest = file.GetString("URLTest", kDefaultURLTest);
  URLProduction = file.GetString("URLProduction", kDefaultURLProduction);
  IPTest = file.GetString("IPTest", kDefaultIPTest);
  IPProduction = file.GetString("IPProduction", kDefaultIPProduction);
  DNSServer = file.GetString("DNSServer", kDefaultDNSServer);
  CallDNS = file.GetBoolean("CallDNS", false);
  Active = file.GetBoolean("Active", false);
}

void TProxySettings::Save() const {
  std::unique_ptr<TKesJsonFile> file = OpenSettingsFile();
  if (file->FileName.empty()) throw Error(ErrorKind::kFileCreate, kMsgSettingsFolderUnknown);
  KeepUnreadableSettings(*file);
  WriteFields(*file);
}

void TProxySettings::SaveCopyTo(const std::string& path) const {
  TKesJsonFile file(path);
  WriteFields(file);
}

void TProxySettings::WriteFields(TKesJsonFile& file) const {
  file.SetInteger("Mode", Mode);
  file.SetBoolean("Active", Active);
  file.SetString("URLTest", URLTest);
  file.SetString("URLProduction", URLProduction);
  file.SetString("IPTest", IPTest);
  file.SetString("IPProduction", IPProduction);
  file.SetString("DNSServer", DNSServer);
  file.SetBoolean("CallDNS", CallDNS);
  file.Save(true);
}

bool TProxySettings::SameValues(const TProxySettings& other) const {
  return Active == other.Active && Mode == other.Mode && IPTest.get() == other.IPTest.get() &&
         IPProduction.get() == other.IPProduction.get() && URLTest.get() == other.URLTest.get() &&
         URLProduction.get() == other.URLProduction.get() &&
         DNSServer.get() == other.DNSServer.get() && CallDNS == other.CallDNS;
}

}  // namespace vp
