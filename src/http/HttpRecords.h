// What the listener hands its handler for one request, and the response the handler fills in.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "io/BufferedReader.h"
#include "io/IOHandler.h"

namespace vp {

// One accepted connection as the handler sees it.
class TIdContext {
 public:
  TIdContext(IOHandler& io, BufferedReader& reader) : io_(io), reader_(reader) {}
  IOHandler& Connection() { return io_; }
  BufferedReader& Reader() { return reader_; }

 private:
  IOHandler& io_;
  BufferedReader& reader_;
};

enum class THTTPCommandType {
  hcUnknown,
  hcHEAD,
  hcGET,
  hcPOST,
  hcDELETE,
  hcPUT,
  hcTRACE,
  hcOPTION
};

// Header lines in arrival order; names compare without regard to case.
class THeaderList {
 public:
  void Add(std::string name, std::string value);
  // The first value of that name, or "" when there is none.
  std::string Value(std::string_view name) const;
  bool Has(std::string_view name) const;
  const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

struct TIdHTTPRequestInfo {
  std::string Command;  // method in upper case, after X-HTTP-Method-Override
  THTTPCommandType CommandType = THTTPCommandType::hcUnknown;
  std::string URI;          // the raw request target
  std::string Path;         // decoded path and document, without the query
  std::string QueryParams;  // the text after the first '?'
  std::string Version;      // "HTTP/1.1"
  int VersionMajor = -1;
  int VersionMinor = -1;
  std::vector<std::string> RawHeaderLines;
  THeaderList RawHeaders;
  std::string RemoteIP;
  std::string Host;  // Host header, or the authority of an absolute-form target
  std::string ContentType;
  std::optional<std::int64_t> ContentLength;
  std::string Connection;
  std::string AuthUsername;  // "Basic" credentials as sent; nothing checks them
  // The body, absent when the request carried none. Empty (not absent) for Content-Length: 0.
  std::optional<std::string> Body;
};

// Reason phrases of the status codes this server gives.
std::string ReasonPhrase(int status_code);

inline constexpr const char* kDefaultContentType = "text/html; charset=ISO-8859-1";

class TIdHTTPResponseInfo {
 public:
  explicit TIdHTTPResponseInfo(IOHandler& io) : io_(io) {}

  int ResponseNo() const { return StatusCode; }
  // Sets the status code and its reason phrase together.
  void SetResponseNo(int code);

  int StatusCode = 200;
  std::string StatusText = "OK";
  std::string ContentType;
  std::optional<std::int64_t> ContentLength;
  std::string ContentDisposition;
  std::string Connection;
  // Sent as it is: answer bytes from upstream (UTF-8 XML) must reach the client unchanged, and
  // ASCII text is the same in ISO-8859-1 anyway.
  std::string ResponseText;
  std::optional<std::string> ContentStream;
  bool CloseConnection = false;
  bool HeaderHasBeenWritten = false;
  std::optional<std::int64_t> Date;  // seconds since 1970, UTC; the current time when unset

  // Fills in the defaults and sends the status line and headers.
  void WriteHeader();
  // The head and ResponseText or the content stream, in one write. With Nagle on, a body sent on
  // its own after the head waits for the head's acknowledgement, which a client in delayed-ACK
  // mode holds back for up to 40 ms (200 ms on Windows).
  void WriteHeaderAndContent();
  // Sends the whole file as the response at once: headers from its type and size, then its bytes.
  void ServeFile(TIdContext& context, const std::string& path);

 private:
  // Fills in the defaults; the status line and headers with their closing empty line.
  std::string CompleteHead();

  IOHandler& io_;
};

using TIdHTTPCommandEvent =
    std::function<void(TIdContext&, TIdHTTPRequestInfo&, TIdHTTPResponseInfo&)>;

}  // namespace vp
