// Reading the upstream's answer: status line, headers and body. Every part is bounded, so a broken
// or hostile upstream fails the post instead of making us buffer without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "http/HttpRecords.h"
#include "io/BufferedReader.h"

namespace vp {

inline constexpr std::size_t kMaxAnswerHeaderLines = 1024;
inline constexpr const char* kMsgBadStatusLine = "Invalid status line in answer.";
inline constexpr const char* kMsgTooManyAnswerHeaders = "Too many header lines in answer.";
inline constexpr const char* kMsgBadContentLength = "Invalid Content-Length in answer.";
inline constexpr const char* kMsgBadChunk = "Invalid chunk in answer.";

struct HttpAnswerHead {
  std::string StatusLine;  // as received, e.g. "HTTP/1.1 500 Internal Server Error"
  int Code = 0;
  THeaderList Headers;
};

// How the body of an answer ends.
struct BodyFraming {
  enum Kind { kNone, kLength, kChunked, kToClose };
  Kind kind = kNone;
  std::uint64_t length = 0;  // kLength only
};

// Called with the body bytes read so far, after each piece.
using BodyProgress = std::function<void(std::uint64_t count)>;

// Status line and header lines up to the empty line. Lines longer than kMaxLineLength fail.
HttpAnswerHead ReadAnswerHead(BufferedReader& reader);
// Throws kMsgBadContentLength, or kMsgAnswerTooLarge for a length we will not read.
BodyFraming FramingOf(const HttpAnswerHead& head);
// Whether the server lets the connection stay open after this answer: one of HTTP/1.1 unless it
// says close, one of HTTP/1.0 only when it says keep-alive; and the body must end by its framing,
// not with the connection.
bool AnswerKeepsConnection(const HttpAnswerHead& head, const BodyFraming& framing);
// Appends the body bytes, unchanged, to out.
void ReadAnswerBody(BufferedReader& reader, const BodyFraming& framing, std::string& out,
                    const BodyProgress& progress);

}  // namespace vp
