// A stand-in for systemctl, for tests of the service manager's systemd half: a shell script that
// records every call and keeps one unit's ActiveState in a file, passing through "activating" and
// "deactivating" for one query each. The unit folders are temp dirs beside it. All are put in
// place of the real ones until destroyed; nothing touches the machine's systemd.
#pragma once

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace vp::test {

class FakeSystemctl {
 public:
  FakeSystemctl();
  ~FakeSystemctl();
  FakeSystemctl(const FakeSystemctl&) = delete;
  FakeSystemctl& operator=(const FakeSystemctl&) = delete;

  std::string UnitFolder() const { return dir_.File("units"); }
  std::string UnitFile() const;
  // Where a package's unit for the service lies, in a folder of its own; none is there at first.
  std::string PackageUnitFile() const;
  // Every call's arguments, one line each.
  std::vector<std::string> calls() const;
  // "inactive", "activating", "active", "deactivating", "failed".
  void SetState(const std::string& state);
  // The named verb ("enable", "show", ...) fails with that text on standard error.
  void Fail(const std::string& verb, const std::string& text);

 private:
  TempDir dir_;
};

}  // namespace vp::test
