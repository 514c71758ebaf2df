// The eight values that drive the proxy, with their defaults and their settings file.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "proxy/SharedText.h"

namespace vp {

// The tax authority's published endpoints and a public resolver. Discovery (CallDNS) replaces the
// two addresses in memory when the published ones move.
inline constexpr const char* kDefaultURLTest =  // the authority's test web service
    "https://cistest.apis-it.hr:8449/FiskalizacijaServiceTest";
inline constexpr const char* kDefaultURLProduction =  // the authority's production web service
    "https://cis.porezna-uprava.hr:8449/FiskalizacijaService";
inline constexpr const char* kDefaultIPTest = "195.29.166.133:8449";        // cistest.apis-it.hr
inline constexpr const char* kDefaultIPProduction = "193.198.75.116:8449";  // cis.porezna-uprava.hr
inline constexpr const char* kDefaultDNSServer = "8.8.8.8";                 // Google Public DNS
inline constexpr std::int32_t kDefaultMode = 1;  // plain HTTP, forwarded by path

// Proxy modes, the values of Mode.
inline constexpr std::int32_t kModeNone = 0;
inline constexpr std::int32_t kModeHttp = 1;
inline constexpr std::int32_t kModeHttpsTest = 2;
inline constexpr std::int32_t kModeHttpsProduction = 3;

class TKesJsonFile;

// The settings file: "Settings.ini" in the folder "VormetraProxy" under the machine-wide data
// folder, JSON text.
inline constexpr const char* kSettingsFolderName = "VormetraProxy";
inline constexpr const char* kSettingsFileName = "Settings.ini";
// Where a settings file that did not parse to its end is kept before Save rewrites it.
inline constexpr const char* kSettingsBackupFileName = "Settings.ini.bak";
// Save when the machine-wide data folder cannot be determined (the file has no place then).
inline constexpr const char* kMsgSettingsFolderUnknown =
    "Cannot create file \"Settings.ini\". The common application data folder is unknown.";

class TProxySettings {
 public:
  // Every field at its default, then Load. Throws what Load throws.
  TProxySettings();
  TProxySettings(const TProxySettings&) = delete;
  TProxySettings& operator=(const TProxySettings&) = delete;

  // Active and CallDNS belong to the main thread; the rest is also read by connection threads
  // while the main thread replaces it.
  bool Active = false;
  std::atomic<std::int32_t> Mode{kDefaultMode};
  SharedText IPTest{kDefaultIPTest};
  SharedText IPProduction{kDefaultIPProduction};
  SharedText URLTest{kDefaultURLTest};
  SharedText URLProduction{kDefaultURLProduction};
  SharedText DNSServer{kDefaultDNSServer};
  bool CallDNS = false;

  // Every field back to its default.
  void ResetToDefaults();

  // All eight fields from the settings file; a missing key (or a missing file) gives the field's
  // default, a parse error keeps what was read before it. Creates the folder, not the file.
  // Throws ErrorKind::kFileOpen when the file exists but cannot be read, ErrorKind::kConvert for
  // a malformed unicode escape in it; the fields then keep their values.
  void Load();
  // Writes all eight fields into the settings file, keeping its other keys and their order. A
  // file that did not parse to its end is first copied to Settings.ini.bak beside it.
  // Throws ErrorKind::kFileCreate: Cannot create file "<path>". <system text>, or what Load throws
  // for the existing file.
  void Save() const;
  // The eight fields from a settings file elsewhere (one that SaveCopyTo wrote), as Load reads
  // them. Throws ErrorKind::kFileOpen when it does not exist or cannot be read.
  void LoadFrom(const std::string& path);
  // The eight fields alone into a new file at path, as Save writes them.
  // Throws ErrorKind::kFileCreate when it cannot be written.
  void SaveCopyTo(const std::string& path) const;
  // Whether the two hold the same eight values.
  bool SameValues(const TProxySettings& other) const;
  // The settings file, already loaded when it exists. FileName is empty when the machine-wide
  // data folder cannot be determined.
  std::unique_ptr<TKesJsonFile> OpenSettingsFile() const;

 private:
  void ReadFields(const TKesJsonFile& file);
  void WriteFields(TKesJsonFile& file) const;
};

}  // namespace vp
