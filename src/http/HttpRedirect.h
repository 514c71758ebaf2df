// Where a redirect leads: a Location value resolved against the URL that answered with it.
#pragma once

#include <string>

#include "http/UrlSplit.h"

namespace vp {

// An absolute Location is taken as it is; "//host/x", "/x", "x" and "?q" are resolved against the
// scheme, authority and path of current.
std::string ResolveRedirect(const std::string& location, const UrlParts& current);

// Whether an answer is a redirect the client may follow: a 3xx other than 304, with a Location.
bool IsFollowableRedirect(int code, const std::string& location);

}  // namespace vp
