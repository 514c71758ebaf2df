#include "support/FakeSystemctl.h"

#include <filesystem>
#include <sstream>

#include "platform/FileSystem.h"
#include "platform/ServiceManager.h"

namespace vp::test {
namespace {

// $d is the script's folder. A failing verb prints its text and ends with 1; "show" prints the
// state and moves a pending one on; start and stop set the pending states; enable and disable
// make and remove the unit's link, as systemctl does.
constexpr const char* kScript = R"(#!/bin/sh
d=$(dirname "$0")
echo "$*" >> "$d/calls"
verb=
for v in show start stop reload enable disable daemon-reload reset-failed; do
  case " $* " in *" $v "*) verb=$v; break;; esac
done
if [ -f "$d/fail-$verb" ]; then cat "$d/fail-$verb" >&2; exit 1; fi
for unit; do :; done
wants="$d/units/multi-user.target.wants"
state=$(cat "$d/state" 2>/dev/null || echo inactive)
case "$verb" in
  show)
    echo "LoadState=loaded"
    echo "ActiveState=$state"
    case "$state" in
      activating) echo active > "$d/state";;
      deactivating) echo inactive > "$d/state";;
    esac;;
  start) echo activating > "$d/state";;
  stop) echo deactivating > "$d/state";;
  enable) mkdir -p "$wants" && ln -sf "../$unit" "$wants/$unit";;
  disable) rm -f "$wants/$unit";;
esac
exit 0
)";

}  // namespace

FakeSystemctl::FakeSystemctl() {
  std::string script = dir_.File("systemctl");
  WriteFile(script, kScript);
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  platform::ForceDirectories(UnitFolder());
  platform::ForceDirectories(dir_.File("package-units"));
  platform::SetSystemdForTesting(UnitFolder(), script, dir_.File("package-units"));
}

FakeSystemctl::~FakeSystemctl() { platform::SetSystemdForTesting("", ""); }

std::string FakeSystemctl::UnitFile() const {
  return UnitFolder() + "/VormetraProxyService.service";
}

std::string FakeSystemctl::PackageUnitFile() const {
  return dir_.File("package-units/VormetraProxyService.service");
}

std::vector<std::string> FakeSystemctl::calls() const {
  std::vector<std::string> lines;
  if (!platform::FileExists(dir_.File("calls"))) return lines;
  std::istringstream in(ReadFile(dir_.File("calls")));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void FakeSystemctl::SetState(const std::string& state) { WriteFile(dir_.File("state"), state); }

void FakeSystemctl::Fail(const std::string& verb, const std::string& text) {
  WriteFile(dir_.File("fail-" + verb), text + "\n");
}

}  // namespace vp::test
