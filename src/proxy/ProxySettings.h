// The eight values that drive the proxy, with their defaults.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "proxy/SharedText.h"

namespace vp {

// The tax authority's published endpoints and a public resolver. Discovery (CallDNS) replaces the
// two addresses in memory when the published ones move.
inline constexpr const char* kDefaultURLTest =  // the authority's test web service
    "https://cistest.apis-it.hr:8449/FiskalizacijaServiceTest";
inline constexpr const char* kDefaultURLProduction =  // the authority's production web service
    "https://cis.porezna-uprava.hr:8449/FiskalizacijaService";
inline constexpr const char* kDefaultIPTest = "195.29.166.133:8449";  // cistest.apis-it.hr
inline constexpr const char* kDefaultIPProduction = "193.198.75.116:8449";  // cis.porezna-uprava.hr
inline constexpr const char* kDefaultDNSServer = "8.8.8.8";  // Google Public DNS
inline constexpr std::int32_t kDefaultMode = 1;             // plain HTTP, forwarded by path

// Proxy modes, the values of Mode.
inline constexpr std::int32_t kModeNone = 0;
inline constexpr std::int32_t kModeHttp = 1;
inline constexpr std::int32_t kModeHttpsTest = 2;
inline constexpr std::int32_t kModeHttpsProduction = 3;

class TProxySettings {
 public:
  // Every field at its default. (Loading the settings file comes on top of this.)
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
};

}  // namespace vp
