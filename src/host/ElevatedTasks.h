// Saving the settings file when this process lacks the rights for it: as with the hosts file's lines, an elevated copy of the program started with a switch
// does the work, and the state is read back afterwards. On Windows the machine-wide data folder
// is normally open to the user; on Linux the settings under /var/lib belong to root.
#pragma once

#include <string>

namespace vp {

class TProxySettings;

// The switch of the elevated copy, followed by its argument.
inline constexpr const char* kSwitchSaveSettings = "savesettings";  // STAGED_FILE

// Saves the settings. When this process cannot write the file, and the file does not hold these
// values already, they are staged in a file of the temp folder and an elevated copy with
// "/savesettings STAGED_FILE" saves them. Throws the save's own error (ErrorKind::kFileCreate,
// "Cannot create file ...") when the file does not hold them afterwards: the elevation was
// declined or failed.
void SaveSettingsWithRights(const TProxySettings& settings);
// The elevated copy's part: the eight values of the staged file into the settings file, its other
// keys kept. Throws what LoadFrom and Save throw.
void SaveStagedSettings(const std::string& staged_path);

}  // namespace vp
