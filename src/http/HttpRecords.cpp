// Header lists and response writing.
#include "http/HttpRecords.h"

#include "base/AsciiText.h"
#include "http/HttpDate.h"
#include "http/MimeTable.h"
#include "platform/FileSystem.h"

namespace vp {

void THeaderList::Add(std::string name, std::string value) {
  items_.emplace_back(std::move(name), std::move(value));
}

std::string THeaderList::Value(std::string_view name) const {
  for (const auto& [n, v] : items_)
    if (EqualsNoCase(n, name)) return v;
  return {};
}

bool THeaderList::Has(std::string_view name) const {
  for (const auto& item : items_)
    if (EqualsNoCase(item.first, name)) return true;
  return false;
}

std::string ReasonPhrase(int status_code) {
  switch (status_code) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 411:
      return "Length Required";
    case 417:
      return "Expectation Failed";
    case 500:
      return "Internal Server Error";
    default:
      return "Unknown";
  }
}

void TIdHTTPResponseInfo::SetResponseNo(int code) {
  StatusCode = code;
  StatusText = ReasonPhrase(code);
}

std::string TIdHTTPResponseInfo::CompleteHead() {
  bool has_text = !ResponseText.empty();
  bool has_stream = ContentStream.has_value();
  if (ContentType.empty() && (has_text || has_stream)) ContentType = kDefaultContentType;
  if (!ContentLength) {
    if (has_text)
      ContentLength = static_cast<std::int64_t>(ResponseText.size());
    else if (has_stream)
      ContentLength = static_cast<std::int64_t>(ContentStream->size());
    else
      ContentLength = 0;
  }
  if (!Date) Date = UnixTimeNow();

  std::string head = "HTTP/1.1 " + std::to_string(StatusCode) + " " + StatusText + "\r\n";
  AppendHeaderLine(head, "Connection", Connection);
  AppendHeaderLine(head, "Content-Disposition", ContentDisposition);
  AppendHeaderLine(head, "Content-Type", ContentType);
  AppendHeaderLine(head, "Content-Length", std::to_string(*ContentLength));
  AppendHeaderLine(head, "Date", FormatHttpDate(*Date));
  head += "\r\n";
  return head;
}

void TIdHTTPResponseInfo::WriteHeader() {
  io_.Write(CompleteHead());
  HeaderHasBeenWritten = true;
}

void TIdHTTPResponseInfo::WriteHeaderAndContent() {
  std::string answer = CompleteHead();
  if (ContentStream) {
    answer += *ContentStream;
    ContentStream.reset();
  } else {
    answer += ResponseText;
  }
  io_.Write(answer);
  HeaderHasBeenWritten = true;
}

void TIdHTTPResponseInfo::ServeFile(TIdContext& context, const std::string& path) {
  // Read before anything is sent: a file that cannot be read still gets a proper error answer.
  std::string bytes = platform::ReadFileBytes(path);
  if (ContentType.empty()) ContentType = MimeTypeForFile(path);
  ContentLength = static_cast<std::int64_t>(bytes.size());
  if (ContentDisposition.empty())
    ContentDisposition = "attachment; filename=\"" + platform::ExtractFileName(path) + "\";";
  std::string answer = CompleteHead();
  answer += bytes;
  context.Connection().Write(answer);
  HeaderHasBeenWritten = true;
}

}  // namespace vp
