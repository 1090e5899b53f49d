#include "server/http_response_parser.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "server/exceptions.h"
#include "server/http_tokens.h"

namespace http {

namespace {

[[noreturn]] void RaiseMalformed(const wchar_t* what) {
  throw EIdException(String(L"Ungültige Antwort des Update-Servers: ") + what);
}

bool IsTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::strchr("!#$%&'*+-.^_`|~", c) != nullptr && c != '\0';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Content-Length: every field and every member of a list must give the same
// decimal number.
uint64_t ContentLength(const std::vector<std::string_view>& values) {
  bool have = false;
  uint64_t length = 0;
  for (std::string_view value : values) {
    for (std::string_view member : SplitList(value)) {
      if (member.empty() || member.size() > 19) RaiseMalformed(L"ungültige Längenangabe (Content-Length).");
      uint64_t n = 0;
      for (char c : member) {
        if (!IsDigit(c)) RaiseMalformed(L"ungültige Längenangabe (Content-Length).");
        n = n * 10 + static_cast<uint64_t>(c - '0');
      }
      if (have && n != length) RaiseMalformed(L"widersprüchliche Längenangaben (Content-Length).");
      have = true;
      length = n;
    }
  }
  if (!have) RaiseMalformed(L"ungültige Längenangabe (Content-Length).");
  return length;
}

constexpr std::string_view kStatusLinePrefix = "HTTP/1.";

// Whether the beginning of a line can still become a status line.
bool LooksLikeStatusLineStart(std::string_view start) {
  if (start == "\r") return true;  // a blank line, not yet ended
  const size_t n = std::min(start.size(), kStatusLinePrefix.size());
  return start.substr(0, n) == kStatusLinePrefix.substr(0, n);
}

}  // namespace

const std::string* ResponseHead::Find(std::string_view name) const {
  for (const auto& field : fields) {
    if (EqualsIgnoreCase(field.name, name)) return &field.value;
  }
  return nullptr;
}

std::vector<std::string_view> ResponseHead::FindAll(std::string_view name) const {
  std::vector<std::string_view> values;
  for (const auto& field : fields) {
    if (EqualsIgnoreCase(field.name, name)) values.emplace_back(field.value);
  }
  return values;
}

ResponseParser::ResponseParser(ParserLimits limits) : limits_(limits), headBudget_(limits.maxHeader) {}

size_t ResponseParser::Feed(const char* data, size_t size, BodySink* sink) {
  if (size > 0) receivedAnything_ = true;
  switch (phase_) {
    case Phase::kHead:
      return FeedHead(data, size);
    case Phase::kComplete:
      return 0;
    case Phase::kBody:
      break;
  }
  switch (framing_) {
    case BodyFraming::kContentLength: {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, size));
      if (n > 0 && sink != nullptr) sink->OnBody(data, n);
      remaining_ -= n;
      if (remaining_ == 0) phase_ = Phase::kComplete;
      return n;
    }
    case BodyFraming::kUntilClose:
      if (size > 0 && sink != nullptr) sink->OnBody(data, size);
      return size;
    case BodyFraming::kChunked:
      return FeedChunked(data, size, sink);
    case BodyFraming::kNone:
      break;
  }
  phase_ = Phase::kComplete;
  return 0;
}

void ResponseParser::FeedEnd() {
  if (phase_ == Phase::kComplete) return;
  if (phase_ == Phase::kBody && framing_ == BodyFraming::kUntilClose) {
    phase_ = Phase::kComplete;
    return;
  }
  // Something other than a status line, cut off by the close.
  if (phase_ == Phase::kHead && !haveStatusLine_ && !line_.empty() && !LooksLikeStatusLineStart(line_)) {
    RaiseMalformed(L"keine gültige HTTP/1.x-Statuszeile.");
  }
  throw EIdConnClosedGracefully();
}

bool ResponseParser::TakeLine(const char* data, size_t size, size_t& used, size_t& budget) {
  const char* start = data + used;
  const size_t available = size - used;
  const void* lf = std::memchr(start, '\n', available);
  const size_t take = lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - start) + 1 : available;
  // The line end does not count against the line limit. Of two limits the
  // one whose byte comes first is reported, so that the failure does not
  // depend on how the bytes arrived.
  const size_t content = take - (lf != nullptr ? 1 : 0);
  const size_t lineRoom = limits_.maxLine + 1 - line_.size();
  if (content > lineRoom && lineRoom <= budget) RaiseMalformed(L"eine Zeile der Antwort ist zu lang.");
  if (take > budget) RaiseMalformed(L"der Antwortkopf ist zu groß.");
  line_.append(start, take);
  budget -= take;
  used += take;
  if (lf == nullptr) return false;
  line_.pop_back();
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  if (line_.size() > limits_.maxLine) RaiseMalformed(L"eine Zeile der Antwort ist zu lang.");
  return true;
}

// Something that cannot become a status line fails at its first wrong byte,
// unless a limit is reached before that byte (TakeLine reports that one).
void ResponseParser::CheckStatusLineStart(const char* data, size_t size) const {
  std::string start = line_;
  // Beyond the prefix every byte fits.
  for (size_t i = 0; i < size && data[i] != '\n' && start.size() < kStatusLinePrefix.size(); ++i) {
    start.push_back(data[i]);
    if (LooksLikeStatusLineStart(start)) continue;
    if (i < limits_.maxLine + 1 - line_.size() && i < headBudget_) {
      RaiseMalformed(L"keine gültige HTTP/1.x-Statuszeile.");
    }
    return;
  }
}

size_t ResponseParser::FeedHead(const char* data, size_t size) {
  size_t used = 0;
  while (used < size && phase_ == Phase::kHead) {
    if (!haveStatusLine_) CheckStatusLineStart(data + used, size - used);
    if (!TakeLine(data, size, used, headBudget_)) break;
    std::string line = std::move(line_);
    line_.clear();
    HeadLine(line);
  }
  return used;
}

void ResponseParser::HeadLine(std::string& line) {
  if (!haveStatusLine_) {
    if (line.empty()) return;  // blank lines before the status line are skipped
    StatusLine(line);
    return;
  }
  if (line.empty()) {
    EndOfHead();
    return;
  }
  HeaderLine(line);
}

void ResponseParser::StatusLine(const std::string& line) {
  // HTTP/1.x SP 3DIGIT [SP reason]
  constexpr std::string_view kPrefix = "HTTP/1.";
  const bool shapeOk = line.size() >= 12 && line.compare(0, kPrefix.size(), kPrefix) == 0 && IsDigit(line[7]) &&
                       line[8] == ' ' && IsDigit(line[9]) && IsDigit(line[10]) && IsDigit(line[11]) &&
                       (line.size() == 12 || line[12] == ' ');
  if (!shapeOk) RaiseMalformed(L"keine gültige HTTP/1.x-Statuszeile.");
  head_ = ResponseHead{};
  head_.statusLine = line;
  head_.minorVersion = line[7] - '0';
  head_.statusCode = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
  if (head_.statusCode < 100) RaiseMalformed(L"keine gültige HTTP/1.x-Statuszeile.");
  haveStatusLine_ = true;
}

void ResponseParser::HeaderLine(const std::string& line) {
  if (line[0] == ' ' || line[0] == '\t') {
    // A continuation of the previous field's value (obsolete line folding).
    if (head_.fields.empty()) RaiseMalformed(L"ungültige Kopfzeile.");
    std::string_view more = TrimBlanks(line);
    if (!more.empty()) {
      auto& value = head_.fields.back().value;
      if (!value.empty()) value.push_back(' ');
      value.append(more);
    }
    return;
  }
  const size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) RaiseMalformed(L"ungültige Kopfzeile.");
  for (size_t i = 0; i < colon; ++i) {
    if (!IsTokenChar(line[i])) RaiseMalformed(L"ungültige Kopfzeile.");
  }
  head_.fields.push_back({line.substr(0, colon), std::string(TrimBlanks(std::string_view(line).substr(colon + 1)))});
}

void ResponseParser::EndOfHead() {
  const int code = head_.statusCode;
  if (code >= 100 && code < 200 && code != 101) {
    // An interim answer; the final one follows on the same connection.
    haveStatusLine_ = false;
    head_ = ResponseHead{};
    return;
  }

  bool saysClose = false;
  bool saysKeepAlive = false;
  for (std::string_view value : head_.FindAll("Connection")) {
    saysClose = saysClose || ListContains(value, "close");
    saysKeepAlive = saysKeepAlive || ListContains(value, "keep-alive");
  }
  for (std::string_view value : head_.FindAll("Proxy-Connection")) {
    saysClose = saysClose || ListContains(value, "close");
  }
  // HTTP/1.0 closes after the response unless it asks for the opposite.
  bool close = saysClose || (head_.minorVersion == 0 && !saysKeepAlive);

  const auto transferCodings = head_.FindAll("Transfer-Encoding");
  const auto contentLengths = head_.FindAll("Content-Length");
  if (code == 101) {
    framing_ = BodyFraming::kNone;
    close = true;  // the connection no longer speaks HTTP
  } else if (code == 204 || code == 304) {
    framing_ = BodyFraming::kNone;
  } else if (!transferCodings.empty()) {
    std::string_view last;
    for (std::string_view value : transferCodings) {
      for (std::string_view coding : SplitList(value)) {
        if (!coding.empty()) last = coding;
      }
    }
    if (EqualsIgnoreCase(last, "chunked")) {
      framing_ = BodyFraming::kChunked;
      chunk_ = ChunkState::kSize;
    } else {
      framing_ = BodyFraming::kUntilClose;
    }
    // A length next to a transfer coding is ignored; such a connection is not reused.
    if (!contentLengths.empty()) close = true;
  } else if (!contentLengths.empty()) {
    remaining_ = ContentLength(contentLengths);
    framing_ = remaining_ == 0 ? BodyFraming::kNone : BodyFraming::kContentLength;
  } else {
    framing_ = BodyFraming::kUntilClose;
  }
  if (framing_ == BodyFraming::kUntilClose) close = true;
  keepAlive_ = !close;
  phase_ = framing_ == BodyFraming::kNone ? Phase::kComplete : Phase::kBody;
}

size_t ResponseParser::FeedChunked(const char* data, size_t size, BodySink* sink) {
  size_t used = 0;
  while (used < size && phase_ == Phase::kBody) {
    switch (chunk_) {
      case ChunkState::kSize: {
        size_t budget = std::numeric_limits<size_t>::max();  // the line limit bounds it
        if (!TakeLine(data, size, used, budget)) break;
        std::string line = std::move(line_);
        line_.clear();
        ChunkSizeLine(line);
        break;
      }
      case ChunkState::kData: {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, size - used));
        if (sink != nullptr) sink->OnBody(data + used, n);
        used += n;
        remaining_ -= n;
        if (remaining_ == 0) chunk_ = ChunkState::kDataEnd;
        break;
      }
      case ChunkState::kDataEnd:
        if (data[used] == '\r') {
          chunk_ = ChunkState::kDataEndLf;
        } else if (data[used] == '\n') {
          chunk_ = ChunkState::kSize;
        } else {
          RaiseMalformed(L"ein Chunk endet nicht mit einem Zeilenende.");
        }
        ++used;
        break;
      case ChunkState::kDataEndLf:
        if (data[used] != '\n') RaiseMalformed(L"ein Chunk endet nicht mit einem Zeilenende.");
        chunk_ = ChunkState::kSize;
        ++used;
        break;
      case ChunkState::kTrailer: {
        if (!TakeLine(data, size, used, trailerBudget_)) break;
        const bool end = line_.empty();
        line_.clear();
        if (end) phase_ = Phase::kComplete;  // the trailer fields themselves are not used
        break;
      }
    }
  }
  return used;
}

void ResponseParser::ChunkSizeLine(const std::string& line) {
  size_t i = 0;
  uint64_t size = 0;
  while (i < line.size() && HexValue(line[i]) >= 0) {
    if (size > (std::numeric_limits<uint64_t>::max() >> 4)) RaiseMalformed(L"ungültige Chunk-Größe.");
    size = (size << 4) | static_cast<uint64_t>(HexValue(line[i]));
    ++i;
  }
  if (i == 0) RaiseMalformed(L"ungültige Chunk-Größe.");
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i < line.size() && line[i] != ';') RaiseMalformed(L"ungültige Chunk-Größe.");
  if (size == 0) {
    chunk_ = ChunkState::kTrailer;
    trailerBudget_ = limits_.maxHeader;
  } else {
    remaining_ = size;
    chunk_ = ChunkState::kData;
  }
}

}  // namespace http
