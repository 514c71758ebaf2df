// Dates in the RFC 1123 form HTTP headers use: "Tue, 08 Dec 2026 04:13:52 GMT".
#pragma once

#include <cstdint>
#include <string>

namespace vp {

std::int64_t UnixTimeNow();
std::string FormatHttpDate(std::int64_t unix_seconds);
// ISO 8601 in UTC, as logs write it: "2026-12-08T04:13:52Z".
std::string FormatIsoUtc(std::int64_t unix_seconds);
// The inverse of FormatIsoUtc; false when text is not exactly that form.
bool ParseIsoUtc(const std::string& text, std::int64_t& unix_seconds);

}  // namespace vp
