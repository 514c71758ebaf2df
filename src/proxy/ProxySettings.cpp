// Settings defaults.
#include "proxy/ProxySettings.h"

namespace vp {

TProxySettings::TProxySettings() { ResetToDefaults(); }

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

}  // namespace vp
