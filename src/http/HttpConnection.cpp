// Reading one HTTP/1.x request and answering it.
#include "http/HttpConnection.h"

#include <cctype>
#include <charconv>

#include "base/AsciiText.h"
#include "base/Error.h"
#include "http/UrlSplit.h"

namespace vp {
namespace {

std::string Trim(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return std::string(text.substr(begin, end - begin));
}

// A whole decimal number, or -1.
int VersionNumber(std::string_view text) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return -1;
  return value;
}

THTTPCommandType CommandTypeOf(const std::string& method) {
  if (method == "HEAD") return THTTPCommandType::hcHEAD;
  if (method == "GET") return THTTPCommandType::hcGET;
  if (method == "POST") return THTTPCommandType::hcPOST;
  if (method == "DELETE") return THTTPCommandType::hcDELETE;
  if (method == "PUT") return THTTPCommandType::hcPUT;
  if (method == "TRACE") return THTTPCommandType::hcTRACE;
  if (method == "OPTIONS") return THTTPCommandType::hcOPTION;
  return THTTPCommandType::hcUnknown;
}

// Request line: method, target, version; the version is the text after the last space.
void ParseRequestLine(const std::string& line, TIdHTTPRequestInfo& request) {
  std::size_t last_space = line.rfind(' ');
  if (last_space == std::string::npos)
    throw Error(ErrorKind::kHttpProtocol, kMsgErrorParsingCommand);
  request.Version = line.substr(last_space + 1);
  std::size_t slash = request.Version.find('/');
  std::size_t dot = request.Version.find('.', slash == std::string::npos ? 0 : slash);
  if (slash != std::string::npos && dot != std::string::npos) {
    request.VersionMajor =
        VersionNumber(std::string_view(request.Version).substr(slash + 1, dot - slash - 1));
    request.VersionMinor = VersionNumber(std::string_view(request.Version).substr(dot + 1));
  }
  std::string head = line.substr(0, last_space);
  std::size_t first_space = head.find(' ');
  request.Command = AsciiUpperCopy(head.substr(0, first_space));
  request.URI = first_space == std::string::npos ? std::string() : head.substr(first_space + 1);
}

void ReadHeaderLines(BufferedReader& reader, int maximum, TIdHTTPRequestInfo& request) {
  int count = 0;
  for (;;) {
    std::string line = reader.ReadLine();
    if (line.empty()) return;
    // The limit is tested before the line is counted, so maximum + 1 lines still pass.
    if (count > maximum) throw Error(ErrorKind::kLimit, kMsgMaxHeaderLines);
    ++count;
    std::size_t colon = line.find(':');
    if (colon != std::string::npos)
      request.RawHeaders.Add(Trim(std::string_view(line).substr(0, colon)),
                             Trim(std::string_view(line).substr(colon + 1)));
    request.RawHeaderLines.push_back(std::move(line));
  }
}

void DecodeTarget(TIdHTTPRequestInfo& request) {
  std::string raw_path = request.URI;
  std::size_t question = raw_path.find('?');
  if (question != std::string::npos) {
    request.QueryParams = raw_path.substr(question + 1);
    raw_path.resize(question);
  }
  if (raw_path == "*") {
    request.Path = "*";
    return;
  }
  UrlParts parts = SplitUrl(raw_path);
  request.Path = PercentDecode(parts.path) + PercentDecode(parts.document);
  if (request.Host.empty() && !parts.host.empty())
    request.Host = parts.port.empty() ? parts.host : parts.host + ":" + parts.port;
}

void SendStatusOnly(TIdHTTPResponseInfo& response, int code) {
  response.SetResponseNo(code);
  response.ResponseText.clear();
  response.WriteHeader();
}

// The value of a Content-Length header; -1 when it is no plain decimal number.
std::int64_t ParseContentLength(const std::string& text) {
  std::int64_t value = -1;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return -1;
  return value;
}

std::uint64_t ParseChunkSize(const std::string& line) {
  std::string size_text = Trim(std::string_view(line).substr(0, line.find(';')));
  std::uint64_t size = 0;
  auto [end, ec] = std::from_chars(size_text.data(), size_text.data() + size_text.size(), size, 16);
  if (size_text.empty() || ec != std::errc() || end != size_text.data() + size_text.size())
    throw Error(ErrorKind::kHttpProtocol, "'" + size_text + "' is not a valid chunk size");
  return size;
}

void ReadChunkedBody(BufferedReader& reader, std::string& body) {
  for (;;) {
    std::uint64_t size = ParseChunkSize(reader.ReadLine());
    if (size == 0) break;
    if (body.size() + size > kMaxRequestBodyBytes)
      throw Error(ErrorKind::kLimit, "Request body too large");
    reader.ReadBytes(size, body);
    reader.ReadLine();  // the line end after the chunk's data
  }
  while (!reader.ReadLine().empty()) {
  }  // trailer lines are read and dropped
}

enum class BodyOutcome { kRead, kAnswered };

// Reads the body as its headers say; answers 400 or 411 itself where the request is wrong.
BodyOutcome ReadBody(BufferedReader& reader, TIdHTTPRequestInfo& request,
                     TIdHTTPResponseInfo& response) {
  std::string coding = AsciiLowerCopy(request.RawHeaders.Value("Transfer-Encoding"));
  if (coding.find("chunked") != std::string::npos) {
    request.Body.emplace();
    ReadChunkedBody(reader, *request.Body);
    return BodyOutcome::kRead;
  }
  if (!coding.empty() && coding != "identity") {
    SendStatusOnly(response, 400);
    return BodyOutcome::kAnswered;
  }
  if (request.RawHeaders.Has("Content-Length")) {
    std::int64_t length = ParseContentLength(request.RawHeaders.Value("Content-Length"));
    if (length < 0) {
      SendStatusOnly(response, 400);
      return BodyOutcome::kAnswered;
    }
    if (static_cast<std::uint64_t>(length) > kMaxRequestBodyBytes)
      throw Error(ErrorKind::kLimit, "Request body too large");
    request.ContentLength = length;
    request.Body.emplace();
    reader.ReadBytes(static_cast<std::uint64_t>(length), *request.Body);
    return BodyOutcome::kRead;
  }
  // Without a length, bytes waiting behind the headers are a body we cannot delimit.
  if (reader.HasInput(1)) {
    SendStatusOnly(response, 411);
    return BodyOutcome::kAnswered;
  }
  return BodyOutcome::kRead;
}

// Host and Expect, for HTTP/1.1 and later. Returns false when the request has been answered.
bool CheckHttp11Headers(BufferedReader& reader, const TIdHTTPRequestInfo& request,
                        TIdHTTPResponseInfo& response, IOHandler& io) {
  bool http11 =
      request.VersionMajor > 1 || (request.VersionMajor == 1 && request.VersionMinor >= 1);
  if (!http11) return true;
  if (request.RawHeaders.Value("Host").empty()) {
    SendStatusOnly(response, 400);
    return false;
  }
  if (!request.RawHeaders.Has("Expect") || reader.HasInput(0)) return true;
  if (AsciiLowerCopy(request.RawHeaders.Value("Expect")) != "100-continue") {
    SendStatusOnly(response, 417);
    return false;
  }
  io.Write(request.Version + " 100 Continue\r\n\r\n");
  return true;
}

void CheckAuthorization(TIdHTTPRequestInfo& request) {
  std::string value = request.RawHeaders.Value("Authorization");
  if (value.empty()) return;
  std::string scheme = value.substr(0, value.find(' '));
  if (AsciiLowerCopy(scheme) != "basic")
    throw Error(ErrorKind::kHttpProtocol, kMsgUnsupportedAuthorization);
  // Nothing checks the credentials; they are kept as sent.
  request.AuthUsername = Trim(std::string_view(value).substr(scheme.size()));
}

void Dispatch(TIdContext& context, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response,
              const HttpConnectionOptions& options) {
  bool known = request.CommandType == THTTPCommandType::hcHEAD ||
               request.CommandType == THTTPCommandType::hcGET ||
               request.CommandType == THTTPCommandType::hcPOST;
  const TIdHTTPCommandEvent* handler = known ? options.on_command_get : options.on_command_other;
  if (!handler || !*handler) return;
  try {
    (*handler)(context, request, response);
  } catch (const Error& error) {
    if (error.kind() == ErrorKind::kSocket || error.kind() == ErrorKind::kConnectionClosed ||
        error.kind() == ErrorKind::kSocketTimeout)
      throw;
    response.SetResponseNo(500);
    response.ResponseText = error.what();
  } catch (const std::exception& error) {
    response.SetResponseNo(500);
    response.ResponseText = error.what();
  }
}

}  // namespace

void ServeOneRequest(IOHandler& io, const std::string& remote_ip,
                     const HttpConnectionOptions& options) {
  BufferedReader reader(io);
  TIdContext context(io, reader);
  TIdHTTPRequestInfo request;
  TIdHTTPResponseInfo response(io);
  request.RemoteIP = remote_ip;

  ParseRequestLine(reader.ReadLine(), request);
  ReadHeaderLines(reader, options.maximum_header_line_count, request);
  response.CloseConnection = true;
  response.Connection = "close";

  std::string override_method = request.RawHeaders.Value("X-HTTP-Method-Override");
  if (!override_method.empty()) request.Command = AsciiUpperCopy(override_method);
  request.CommandType = CommandTypeOf(request.Command);
  request.Host = request.RawHeaders.Value("Host");
  request.ContentType = request.RawHeaders.Value("Content-Type");
  request.Connection = request.RawHeaders.Value("Connection");
  DecodeTarget(request);

  if (!CheckHttp11Headers(reader, request, response, io)) return;
  if (ReadBody(reader, request, response) == BodyOutcome::kAnswered) return;
  CheckAuthorization(request);

  if (options.on_request_read) options.on_request_read();
  Dispatch(context, request, response, options);
  if (options.on_handler_done) options.on_handler_done();
  if (!response.HeaderHasBeenWritten) response.WriteHeaderAndContent();
}

}  // namespace vp
