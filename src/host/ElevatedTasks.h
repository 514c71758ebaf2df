// Saving the settings file and adding the root certificate when this process lacks the rights for
// them: as with the hosts file's lines, an elevated copy of the program started with a switch
// does the work, and the state is read back afterwards. On Windows the machine-wide data folder
// and the user's own certificate stores are normally open to the user; on Linux the settings
// under /var/lib and the trust store files belong to root.
#pragma once

#include <string>

namespace vp {

class TProxySettings;

// The switches of the elevated copy, each followed by its arguments.
inline constexpr const char* kSwitchSaveSettings = "savesettings";  // STAGED_FILE
inline constexpr const char* kSwitchAddCertificate = "addcert";     // FILE STORE

// Saves the settings. When this process cannot write the file, and the file does not hold these
// values already, they are staged in a file of the temp folder and an elevated copy with
// "/savesettings STAGED_FILE" saves them. Throws the save's own error (ErrorKind::kFileCreate,
// "Cannot create file ...") when the file does not hold them afterwards: the elevation was
// declined or failed.
void SaveSettingsWithRights(const TProxySettings& settings);
// The elevated copy's part: the eight values of the staged file into the settings file, its other
// keys kept. Throws what LoadFrom and Save throw.
void SaveStagedSettings(const std::string& staged_path);

// Adds the certificate file to the store, by this process when it may change the store, else by
// an elevated copy with "/addcert FULL_PATH STORE"; the answer is then whether the store holds the
// certificate afterwards. False, with no copy started, when the file does not exist.
bool AddCertificateWithRights(const std::string& file_name, const std::string& store_name);

}  // namespace vp
