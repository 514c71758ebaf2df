// The settings and the root certificate through the elevated copy.
#include "host/ElevatedTasks.h"

#include <filesystem>
#include <system_error>

#include "base/Error.h"
#include "host/CommonProc.h"
#include "host/KesCertStore.h"
#include "platform/FileSystem.h"
#include "platform/ProcessList.h"
#include "proxy/ProxySettings.h"

namespace vp {
namespace {

// A file of this process's own in the temp folder, removed however the save ends.
class StagedSettings {
 public:
  StagedSettings() {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) return;
    path_ = (folder /
             ("VormetraProxy-" + std::to_string(platform::CurrentProcessId()) + "-Settings.ini"))
                .string();
    Remove();  // left by an earlier process of the same id
  }
  ~StagedSettings() { Remove(); }
  StagedSettings(const StagedSettings&) = delete;
  StagedSettings& operator=(const StagedSettings&) = delete;

  const std::string& path() const { return path_; }

 private:
  void Remove() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove(path_, ignored);
  }

  std::string path_;
};

bool FileHolds(const TProxySettings& settings) { return TProxySettings().SameValues(settings); }

// False when the values could not be staged: then there is nothing to hand over.
bool SaveByElevatedCopy(const TProxySettings& settings) {
  StagedSettings staged;
  if (staged.path().empty()) return false;
  try {
    settings.SaveCopyTo(staged.path());
  } catch (const Error&) {
    return false;
  }
  RelaunchWithSwitch(kSwitchSaveSettings, false, {staged.path()});
  return true;
}

}  // namespace

void SaveSettingsWithRights(const TProxySettings& settings) {
  try {
    settings.Save();
  } catch (const Error& error) {
    // Without a folder for the file, rights would not help.
    if (error.kind() != ErrorKind::kFileCreate || platform::CommonAppDataFolder().empty()) throw;
    // Nothing to save (a close without changes): no reason to ask for rights.
    if (FileHolds(settings)) return;
    if (!SaveByElevatedCopy(settings) || !FileHolds(settings)) throw;
  }
}

void SaveStagedSettings(const std::string& staged_path) {
  TProxySettings settings;
  settings.LoadFrom(staged_path);
  settings.Save();
}

bool AddCertificateWithRights(const std::string& file_name, const std::string& store_name) {
  TKesCertStore store;
  if (store.MayChangeStore(store_name)) return store.AddCertificateFile(file_name, store_name);
  if (!platform::FileExists(file_name)) return false;
  // The copy may start in another folder.
  std::error_code error;
  std::string full_path = std::filesystem::absolute(file_name, error).string();
  if (error) return false;
  RelaunchWithSwitch(kSwitchAddCertificate, false, {full_path, store_name});
  return store.HoldsCertificateFile(full_path, store_name);
}

}  // namespace vp
