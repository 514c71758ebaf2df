// Parsing the upstream's status line, headers and body framing.
#include "http/HttpAnswer.h"

#include <algorithm>
#include <cctype>

#include "base/AsciiText.h"
#include "base/Error.h"
#include "http/HttpAnswerStream.h"

namespace vp {
namespace {

// Body bytes are read and reported in pieces of this size.
constexpr std::uint64_t kBodyPiece = 64 * 1024;
// Memory reserved ahead for a declared length; larger bodies grow as their bytes arrive.
constexpr std::uint64_t kMaxReserve = 1024 * 1024;
constexpr std::size_t kMaxChunkSizeDigits = 16;

[[noreturn]] void ThrowProtocol(const char* message, std::string detail = {}) {
  throw Error(ErrorKind::kHttpProtocol, message, std::move(detail));
}

// "HTTP/1.1 200 OK": the version, a space, three digits, and an optional reason phrase.
int ParseStatusCode(const std::string& line) {
  if (line.rfind("HTTP/", 0) != 0) ThrowProtocol(kMsgBadStatusLine, line);
  std::size_t space = line.find(' ');
  if (space == std::string::npos || line.size() < space + 4) ThrowProtocol(kMsgBadStatusLine, line);
  int code = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) ThrowProtocol(kMsgBadStatusLine, line);
    code = code * 10 + (line[i] - '0');
  }
  if (line.size() > space + 4 && line[space + 4] != ' ') ThrowProtocol(kMsgBadStatusLine, line);
  if (code < 100) ThrowProtocol(kMsgBadStatusLine, line);
  return code;
}

void ReadHeaderLines(BufferedReader& reader, THeaderList& headers) {
  std::string name;
  std::string value;
  for (std::size_t count = 0;; ++count) {
    std::string line = reader.ReadLine();
    if (line.empty()) break;
    if (count >= kMaxAnswerHeaderLines) throw Error(ErrorKind::kLimit, kMsgTooManyAnswerHeaders);
    if (line[0] == ' ' || line[0] == '\t') {  // an obsolete folded continuation
      if (!name.empty()) value.append(" ").append(TrimBlanks(line));
      continue;
    }
    if (!name.empty()) headers.Add(std::move(name), std::move(value));
    name.clear();
    value.clear();
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    name = TrimBlanks(std::string_view(line).substr(0, colon));
    value = TrimBlanks(std::string_view(line).substr(colon + 1));
  }
  if (!name.empty()) headers.Add(std::move(name), std::move(value));
}

std::uint64_t ParseContentLength(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty() || text.size() > 19) ThrowProtocol(kMsgBadContentLength, std::string(text));
  std::uint64_t value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)))
      ThrowProtocol(kMsgBadContentLength, std::string(text));
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// The hexadecimal size before any chunk extension.
std::uint64_t ParseChunkSize(const std::string& line) {
  std::string_view digits = TrimBlanks(std::string_view(line).substr(0, line.find(';')));
  if (digits.empty() || digits.size() > kMaxChunkSizeDigits) ThrowProtocol(kMsgBadChunk, line);
  std::uint64_t value = 0;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) ThrowProtocol(kMsgBadChunk, line);
    int digit = std::isdigit(static_cast<unsigned char>(c))
                    ? c - '0'
                    : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    value = value * 16 + static_cast<std::uint64_t>(digit);
  }
  return value;
}

void ReadPieces(BufferedReader& reader, std::uint64_t count, std::string& out, std::uint64_t& total,
                const BodyProgress& progress) {
  while (count > 0) {
    std::uint64_t piece = std::min(count, kBodyPiece);
    reader.ReadBytes(piece, out);
    count -= piece;
    total += piece;
    if (progress) progress(total);
  }
}

void ReadChunked(BufferedReader& reader, std::string& out, const BodyProgress& progress) {
  std::uint64_t total = 0;
  for (;;) {
    std::uint64_t size = ParseChunkSize(reader.ReadLine());
    if (size == 0) break;
    if (size > kMaxAnswerBytes - total) throw Error(ErrorKind::kLimit, kMsgAnswerTooLarge);
    ReadPieces(reader, size, out, total, progress);
    if (!reader.ReadLine().empty()) ThrowProtocol(kMsgBadChunk);
  }
  // Trailer lines are not used; their count is bounded like the headers'.
  THeaderList trailers;
  ReadHeaderLines(reader, trailers);
}

}  // namespace

HttpAnswerHead ReadAnswerHead(BufferedReader& reader) {
  HttpAnswerHead head;
  head.StatusLine = reader.ReadLine();
  head.Code = ParseStatusCode(head.StatusLine);
  ReadHeaderLines(reader, head.Headers);
  return head;
}

BodyFraming FramingOf(const HttpAnswerHead& head) {
  BodyFraming framing;
  if (head.Code < 200 || head.Code == 204 || head.Code == 304) return framing;
  if (ContainsNoCase(head.Headers.Value("Transfer-Encoding"), "chunked")) {
    framing.kind = BodyFraming::kChunked;
    return framing;
  }
  bool has_length = false;
  for (const auto& [name, value] : head.Headers.Items()) {
    if (!EqualsNoCase(name, "Content-Length")) continue;
    std::uint64_t length = ParseContentLength(value);
    // Two different lengths leave the body's end unknown (and are a request-smuggling sign).
    if (has_length && length != framing.length) ThrowProtocol(kMsgBadContentLength, value);
    framing.length = length;
    has_length = true;
  }
  if (!has_length) {
    framing.kind = BodyFraming::kToClose;
    return framing;
  }
  if (framing.length > kMaxAnswerBytes) throw Error(ErrorKind::kLimit, kMsgAnswerTooLarge);
  framing.kind = BodyFraming::kLength;
  return framing;
}

bool AnswerKeepsConnection(const HttpAnswerHead& head, const BodyFraming& framing) {
  if (framing.kind == BodyFraming::kToClose) return false;
  const std::string connection = head.Headers.Value("Connection");
  if (ContainsNoCase(connection, "close")) return false;
  if (head.StatusLine.rfind("HTTP/1.0", 0) == 0) return ContainsNoCase(connection, "keep-alive");
  return true;
}

void ReadAnswerBody(BufferedReader& reader, const BodyFraming& framing, std::string& out,
                    const BodyProgress& progress) {
  std::uint64_t total = 0;
  switch (framing.kind) {
    case BodyFraming::kNone:
      return;
    case BodyFraming::kLength:
      out.reserve(out.size() + static_cast<std::size_t>(std::min(framing.length, kMaxReserve)));
      ReadPieces(reader, framing.length, out, total, progress);
      return;
    case BodyFraming::kChunked:
      ReadChunked(reader, out, progress);
      return;
    case BodyFraming::kToClose: {
      // The connection's byte cap (CappedIOHandler) bounds this read.
      std::size_t start = out.size();
      reader.ReadToEnd(out);
      if (progress) progress(out.size() - start);
      return;
    }
  }
}

}  // namespace vp
