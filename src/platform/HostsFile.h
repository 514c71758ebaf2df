// Where the machine's hosts file lies.
#pragma once

#include <string>

namespace vp::platform {

// Windows: the fixed path "c:\Windows\system32\drivers\etc\hosts", used as written rather than
// derived from the system folder. Elsewhere: /etc/hosts. On both, VORMETRA_HOSTS_FILE names
// another file, and a test override comes before either.
std::string HostsFilePath();
// Tests point the hosts file at a temp file; an empty path restores the real one.
void SetHostsFilePathForTesting(const std::string& path);

}  // namespace vp::platform
