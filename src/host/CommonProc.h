// The hosts-file lines that point the tax authority's host names at this machine, with the
// one-time backup of the hosts file, and the relaunch of the program with a switch that lets an
// unprivileged process get privileged work done.
#pragma once

#include <string>
#include <vector>

namespace vp {

// The switches the elevated copy of the program is started with.
inline constexpr const char* kSwitchHostTest = "hosttest";
inline constexpr const char* kSwitchHostProd = "hostprod";
inline constexpr const char* kSwitchHostRemove = "hostremove";

// Shown once, before the hosts file is first changed, followed by the backup's path and ". ".
inline constexpr const char* kMsgHostsBackup =
    "Hosts file će prije izmjene biti spremljen na sljedećoj lokaciji: ";
// The confirmation asked before every relaunch.
inline constexpr const char* kMsgRelaunchQuestion =
    "Program će se pokrenuti sa administratorskim ovlastima.\r\n\r\nŽelite li nastaviti";
// An add refused because the URL gives no host name that a hosts-file line could carry safely
// (none at all, or one with blanks, control characters or '#', which would put other names or
// lines into the file).
inline constexpr const char* kMsgBadTestHost = "Postavka URLTest nema ispravan naziv hosta";
inline constexpr const char* kMsgBadProductionHost =
    "Postavka URLProduction nema ispravan naziv hosta";

// The address every entry maps its host to.
inline constexpr const char* kEntryPrefix = "127.0.0.1 ";

// The hosts-file editor. It holds no state: the settings are read afresh from the settings file
// for every operation, and the hosts file is read whole and written whole, every line ended by
// CR LF. A line belongs to a host when it contains the host name anywhere, compared
// case-sensitively; an empty host name belongs to no line.
class THosts {
 public:
  // Backs the hosts file up (once), then, if this process may write it, removes the lines of the
  // test and the production host and appends "127.0.0.1 " and the test host; the file is
  // rewritten even when nothing changed. Without the rights it relaunches the program with
  // "/hosttest" instead. Read and write errors reach the caller (ErrorKind::kFileOpen,
  // kFileCreate); a URL without a usable host gives ErrorKind::kSettings, kMsgBadTestHost.
  void AddTestEntry();
  // The same with the production host and "/hostprod".
  void AddProductionEntry();
  // Backs up, then removes the lines of both hosts; the file is written only when a line went.
  // Without the rights it relaunches the program with "/hostremove".
  void RemoveEntries();
  // Whether a line contains the test host (the production host).
  bool HasTestEntry();
  bool HasProductionEntry();

 private:
  void AddEntry(bool test_host);
  bool HasEntry(bool test_host);
};

// Copies the hosts file to "hosts" in the folder "VormetraProxy" under the machine-wide data
// folder, after telling the user where, unless that copy exists already or this process cannot
// make it (the elevated copy of the program that changes the file then does both). A copy that
// fails is not reported.
void BackupHostsFile();
// Whether this process can open the hosts file for reading and writing with no sharing.
bool CanWriteHostsFile();
// Asks the user, and on Yes runs the program again with "/" and the switch, followed by the
// arguments, with the current rights ("open") when already_privileged is true and elevated
// ("runas") otherwise; returns when that copy has ended, or at once when nothing was started.
void RelaunchWithSwitch(const std::string& switch_name, bool already_privileged,
                        const std::vector<std::string>& arguments = {});

}  // namespace vp
