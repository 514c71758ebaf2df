// What each platform's half of the certificate seam provides beneath the test overrides.
#pragma once

#include "platform/CertStore.h"

namespace vp::platform {

TrustStoreFiles NativeTrustStoreFiles();

}  // namespace vp::platform
