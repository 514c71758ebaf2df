// The hosts-file editor and the relaunch with a switch.
#include "host/CommonProc.h"

#include <vector>

#include "base/AsciiText.h"
#include "base/Error.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/HostsFile.h"
#include "platform/ProcessLauncher.h"
#include "platform/UserPrompt.h"
#include "proxy/ProxyServer.h"
#include "proxy/ProxySettings.h"

namespace vp {
namespace {

constexpr const char* kBackupFolderName = "VormetraProxy";
constexpr const char* kBackupFileName = "hosts";

struct Hosts {
  std::string test;
  std::string production;
};

// The two host names as the settings file has them now.
Hosts ReadHosts() {
  TProxySettings settings;
  return {HostOfURL(settings.URLTest.get()), HostOfURL(settings.URLProduction.get())};
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append("\r\n");
  return text;
}

bool BelongsTo(const std::string& line, const std::string& host) {
  return !host.empty() && line.find(host) != std::string::npos;
}

// Removes the host's lines, last line first; returns how many went.
int RemoveLinesOf(std::vector<std::string>& lines, const std::string& host) {
  int removed = 0;
  for (std::size_t i = lines.size(); i-- > 0;) {
    if (!BelongsTo(lines[i], host)) continue;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    ++removed;
  }
  return removed;
}

// A name that a hosts-file line can carry as one name: anything else would write another name,
// a comment or a line of the settings file's choosing into a file that the whole machine trusts.
bool IsUsableHostName(const std::string& host) {
  if (host.empty()) return false;
  for (char c : host) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '#') return false;
  }
  return true;
}

std::string BackupFolder() {
  std::string appdata = platform::CommonAppDataFolder();
  if (appdata.empty()) return {};
  return platform::IncludeTrailingDelimiter(appdata) + kBackupFolderName;
}

}  // namespace

void BackupHostsFile() {
  std::string hosts = platform::HostsFilePath();
  if (!platform::FileExists(hosts)) return;
  // Without the machine-wide folder there is no agreed place for the copy; the change goes ahead.
  std::string folder = BackupFolder();
  if (folder.empty()) return;
  platform::ForceDirectories(folder);
  std::string backup = folder + platform::PathDelimiter() + kBackupFileName;
  if (platform::FileExists(backup) || platform::DirectoryExists(backup)) return;
  // A process that could not make the copy would announce it in vain, and the elevated copy of
  // the program that then makes the change would announce it again: it alone does both.
  if (!platform::CanCreateFileIn(folder)) return;
  platform::ShowNotice(kMsgHostsBackup + platform::Utf8FromAnsi(backup) + ". ");
  platform::CopyFileNoOverwrite(hosts, backup);
}

bool CanWriteHostsFile() { return platform::CanOpenExclusively(platform::HostsFilePath()); }

void RelaunchWithSwitch(const std::string& switch_name, bool already_privileged,
                        const std::vector<std::string>& arguments) {
  if (platform::AskQuestion(kMsgRelaunchQuestion) != platform::Answer::kYes) return;
  platform::LaunchVerb verb =
      already_privileged ? platform::LaunchVerb::kOpen : platform::LaunchVerb::kRunAs;
  std::vector<std::string> command_line{"/" + switch_name};
  command_line.insert(command_line.end(), arguments.begin(), arguments.end());
  platform::CurrentProcessLauncher().RunAndWait(verb, platform::ProgramFilePath(), command_line);
  platform::BringApplicationToFront();
}

void THosts::AddTestEntry() { AddEntry(true); }

void THosts::AddProductionEntry() { AddEntry(false); }

void THosts::AddEntry(bool test_host) {
  BackupHostsFile();
  if (!CanWriteHostsFile()) {
    RelaunchWithSwitch(test_host ? kSwitchHostTest : kSwitchHostProd, false);
    return;
  }
  Hosts hosts = ReadHosts();
  const std::string& entry_host = test_host ? hosts.test : hosts.production;
  if (!IsUsableHostName(entry_host))
    throw Error(ErrorKind::kSettings, test_host ? kMsgBadTestHost : kMsgBadProductionHost);
  std::string path = platform::HostsFilePath();
  std::vector<std::string> lines = SplitLines(platform::ReadFileBytes(path));
  RemoveLinesOf(lines, hosts.test);
  RemoveLinesOf(lines, hosts.production);
  lines.push_back(kEntryPrefix + entry_host);
  platform::ReplaceFileBytes(path, JoinLines(lines));
}

void THosts::RemoveEntries() {
  BackupHostsFile();
  if (!CanWriteHostsFile()) {
    RelaunchWithSwitch(kSwitchHostRemove, false);
    return;
  }
  std::string path = platform::HostsFilePath();
  std::vector<std::string> lines = SplitLines(platform::ReadFileBytes(path));
  Hosts hosts = ReadHosts();
  int removed = RemoveLinesOf(lines, hosts.test);
  removed += RemoveLinesOf(lines, hosts.production);
  if (removed > 0) platform::ReplaceFileBytes(path, JoinLines(lines));
}

bool THosts::HasTestEntry() { return HasEntry(true); }

bool THosts::HasProductionEntry() { return HasEntry(false); }

bool THosts::HasEntry(bool test_host) {
  Hosts hosts = ReadHosts();
  const std::string& host = test_host ? hosts.test : hosts.production;
  if (host.empty()) return false;
  for (const std::string& line : SplitLines(platform::ReadFileBytes(platform::HostsFilePath())))
    if (BelongsTo(line, host)) return true;
  return false;
}

}  // namespace vp
