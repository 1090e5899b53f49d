// The response parser on whole responses, fed in pieces of every size from
// one byte to all at once: framing, connection reuse and malformed input.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "server/exceptions.h"
#include "server/http_response_parser.h"

namespace {

struct Collect : http::BodySink {
  std::string bytes;
  void OnBody(const char* data, size_t size) override { bytes.append(data, size); }
};

struct Parsed {
  http::ResponseHead head;
  std::string body;
  bool keepAlive = false;
  size_t leftover = 0;  // bytes after the response
  std::string error;    // the message of the failure, if any
};

// Feeds the response in pieces of `piece` bytes; `closeAtEnd` means the
// update host closes the connection after the last byte.
Parsed Parse(const std::string& response, size_t piece, bool closeAtEnd, http::ParserLimits limits = {}) {
  http::ResponseParser parser(limits);
  Collect sink;
  Parsed result;
  try {
    size_t pos = 0;
    while (pos < response.size() && parser.phase() != http::ResponseParser::Phase::kComplete) {
      const size_t n = std::min(piece, response.size() - pos);
      size_t used = 0;
      while (used < n && parser.phase() != http::ResponseParser::Phase::kComplete) {
        const size_t step = parser.Feed(response.data() + pos + used, n - used, &sink);
        if (step == 0) break;
        used += step;
      }
      pos += used;
      if (used < n) break;
    }
    result.leftover = response.size() - pos;
    if (parser.phase() != http::ResponseParser::Phase::kComplete && closeAtEnd) parser.FeedEnd();
    if (parser.phase() != http::ResponseParser::Phase::kComplete) result.error = "incomplete";
    result.head = parser.Head();
    result.keepAlive = parser.KeepAlive();
  } catch (const Exception& e) {
    result.error = e.what();
  }
  result.body = sink.bytes;
  return result;
}

struct FramingCase {
  const char* name;
  std::string response;
  bool closeAtEnd;
  std::string body;
  bool keepAlive;
  size_t leftover = 0;
};

const std::string kStatus = "HTTP/1.1 200 OK\r\n";

const FramingCase kFramingCases[] = {
    {"ContentLength", kStatus + "Content-Length: 3\r\n\r\n1.5", false, "1.5", true},
    {"ContentLengthZero", kStatus + "Content-Length: 0\r\n\r\n", false, "", true},
    {"ContentLengthRepeatedEqual", kStatus + "Content-Length: 3\r\nContent-Length: 3, 3\r\n\r\nabc", false, "abc",
     true},
    {"BytesAfterTheBodyAreNotTaken", kStatus + "Content-Length: 2\r\n\r\nabXY", false, "ab", true, 2},
    {"Chunked", kStatus + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nA;ext=1\r\n0123456789\r\n0\r\n\r\n", false,
     "abc0123456789", true},
    {"ChunkedWithTrailers",
     kStatus + "Transfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\nX-Checksum: 1\r\nX-More: 2\r\n\r\n", false, "ab",
     true},
    {"ChunkedUpperCaseHexAndBareLineFeeds", kStatus + "Transfer-Encoding: Chunked\r\n\r\n1A\n" +
                                                std::string(26, 'z') + "\n0\n\n",
     false, std::string(26, 'z'), true},
    {"ChunkedWinsOverContentLengthAndClosesAfterwards",
     kStatus + "Content-Length: 99\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nq\r\n0\r\n\r\n", false, "q", false},
    {"TransferCodingOtherThanChunkedReadsToClose", kStatus + "Transfer-Encoding: gzip\r\n\r\n\x1f\x8b", true,
     "\x1f\x8b", false},
    {"GzipThenChunkedKeepsTheGzipBytes",
     kStatus + "Transfer-Encoding: gzip, chunked\r\n\r\n2\r\n\x1f\x8b\r\n0\r\n\r\n", false, "\x1f\x8b", true},
    {"ContentEncodingIsNotUndone", kStatus + "Content-Encoding: gzip\r\nContent-Length: 2\r\n\r\n\x1f\x8b", false,
     "\x1f\x8b", true},
    {"UntilClose", kStatus + "Content-Type: application/zip\r\n\r\nPK\x03\x04 rest", true, "PK\x03\x04 rest", false},
    {"NoContent204", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", false, "", true},
    {"NotModified304", "HTTP/1.1 304 Not Modified\r\n\r\n", false, "", true},
    {"InterimAnswersAreSkipped",
     "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n" + kStatus +
         "Content-Length: 1\r\n\r\nx",
     false, "x", true},
    {"ConnectionCloseAnyCaseAndBlanks", kStatus + "Connection:   ClOsE  \r\nContent-Length: 1\r\n\r\nx", false, "x",
     false},
    {"ConnectionCloseInAList", kStatus + "Connection: keep-alive, close\r\nContent-Length: 1\r\n\r\nx", false, "x",
     false},
    {"ProxyConnectionClose", kStatus + "Proxy-Connection: close\r\nContent-Length: 1\r\n\r\nx", false, "x", false},
    {"ConnectionKeepAlive", kStatus + "Connection: keep-alive\r\nContent-Length: 1\r\n\r\nx", false, "x", true},
    {"Http10ClosesByDefault", "HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx", false, "x", false},
    {"Http10WithKeepAlive", "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 1\r\n\r\nx", false, "x",
     true},
    {"BlankLinesBeforeTheStatusLine", "\r\n\r\n" + kStatus + "Content-Length: 1\r\n\r\nx", false, "x", true},
    {"StatusLineWithoutReason", "HTTP/1.1 200\r\nContent-Length: 1\r\n\r\nx", false, "x", true},
    {"FoldedHeaderLine", kStatus + "X-Long: a\r\n  b\r\nContent-Length: 1\r\n\r\nx", false, "x", true},
    {"ErrorStatusBodyIsRead", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\nnope", false, "nope", true},
};

// The case by its name (its bytes hold padding that was never written).
void PrintTo(const FramingCase& c, std::ostream* out) { *out << c.name; }

class Framing : public ::testing::TestWithParam<FramingCase> {};

TEST_P(Framing, GivesTheBodyInEveryPieceSize) {
  const FramingCase& c = GetParam();
  for (size_t piece = 1; piece <= c.response.size(); ++piece) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    const Parsed p = Parse(c.response, piece, c.closeAtEnd);
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.body, c.body);
    EXPECT_EQ(p.keepAlive, c.keepAlive);
    EXPECT_EQ(p.leftover, c.leftover);
  }
}

INSTANTIATE_TEST_SUITE_P(Responses, Framing, ::testing::ValuesIn(kFramingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ResponseHead, KeepsTheStatusLineAndFields) {
  const Parsed p = Parse("HTTP/1.1 404 Nicht gefunden \r\nSet-Cookie: a=1\r\nset-cookie: b=2\r\nContent-Type:text/plain"
                         "\r\nContent-Length: 0\r\n\r\n",
                         1000, false);
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.head.statusLine, "HTTP/1.1 404 Nicht gefunden ");
  EXPECT_EQ(p.head.statusCode, 404);
  ASSERT_NE(p.head.Find("content-type"), nullptr);
  EXPECT_EQ(*p.head.Find("content-type"), "text/plain");
  EXPECT_EQ(p.head.FindAll("Set-Cookie"), (std::vector<std::string_view>{"a=1", "b=2"}));
}

struct BadCase {
  const char* name;
  std::string response;
  bool closeAtEnd;
  std::string error;
};

const std::string kMalformed = "Ungültige Antwort des Update-Servers: ";
const std::string kClosed = "Die Verbindung wurde erfolgreich geschlossen.";

const BadCase kBadCases[] = {
    {"NothingAtAll", "", true, kClosed},
    {"ClosedInTheHead", kStatus + "Content-Len", true, kClosed},
    {"ShortContentLengthBody", kStatus + "Content-Length: 10\r\n\r\n12345", true, kClosed},
    {"ChunkedCutBeforeTheLastChunk", kStatus + "Transfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n", true, kClosed},
    {"ChunkedCutInTheTrailer", kStatus + "Transfer-Encoding: chunked\r\n\r\n0\r\nX: 1\r\n", true, kClosed},
    {"NotHttp", "SSH-2.0-OpenSSH_9.2\r\n\r\n", true, kMalformed + "keine gültige HTTP/1.x-Statuszeile."},
    {"Http2", "HTTP/2 200\r\n\r\n", true, kMalformed + "keine gültige HTTP/1.x-Statuszeile."},
    {"Http09Body", "1.5", true, kMalformed + "keine gültige HTTP/1.x-Statuszeile."},
    {"ClosedInTheStatusLine", "HTTP/1.1 2", true, kClosed},
    {"BinaryGarbage", std::string("\x16\x03\x01\x02\x00\x01\r\n", 8), true,
     kMalformed + "keine gültige HTTP/1.x-Statuszeile."},
    {"StatusCodeNotDigits", "HTTP/1.1 2x0 OK\r\n\r\n", true, kMalformed + "keine gültige HTTP/1.x-Statuszeile."},
    {"StatusCodeTooShort", "HTTP/1.1 20 OK\r\n\r\n", true, kMalformed + "keine gültige HTTP/1.x-Statuszeile."},
    {"HeaderWithoutColon", kStatus + "Content-Length 3\r\n\r\nabc", true, kMalformed + "ungültige Kopfzeile."},
    {"BlankBeforeColon", kStatus + "Content-Length : 3\r\n\r\nabc", true, kMalformed + "ungültige Kopfzeile."},
    {"FoldedFirstLine", kStatus + " folded\r\n\r\n", true, kMalformed + "ungültige Kopfzeile."},
    {"ContentLengthNotANumber", kStatus + "Content-Length: 3x\r\n\r\nabc", true,
     kMalformed + "ungültige Längenangabe (Content-Length)."},
    {"ContentLengthNegative", kStatus + "Content-Length: -1\r\n\r\n", true,
     kMalformed + "ungültige Längenangabe (Content-Length)."},
    {"ContentLengthEmpty", kStatus + "Content-Length:\r\n\r\n", true,
     kMalformed + "ungültige Längenangabe (Content-Length)."},
    {"ContentLengthOverflow", kStatus + "Content-Length: 99999999999999999999999\r\n\r\n", true,
     kMalformed + "ungültige Längenangabe (Content-Length)."},
    {"ContentLengthsConflict", kStatus + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", true,
     kMalformed + "widersprüchliche Längenangaben (Content-Length)."},
    {"ContentLengthListConflicts", kStatus + "Content-Length: 3, 4\r\n\r\nabcd", true,
     kMalformed + "widersprüchliche Längenangaben (Content-Length)."},
    {"ChunkSizeNotHex", kStatus + "Transfer-Encoding: chunked\r\n\r\nzz\r\n", true,
     kMalformed + "ungültige Chunk-Größe."},
    {"ChunkSizeEmpty", kStatus + "Transfer-Encoding: chunked\r\n\r\n\r\n", true, kMalformed + "ungültige Chunk-Größe."},
    {"ChunkSizeNegative", kStatus + "Transfer-Encoding: chunked\r\n\r\n-1\r\n", true,
     kMalformed + "ungültige Chunk-Größe."},
    {"ChunkSizeOverflows", kStatus + "Transfer-Encoding: chunked\r\n\r\n10000000000000000\r\n", true,
     kMalformed + "ungültige Chunk-Größe."},
    {"ChunkWithoutLineEnd", kStatus + "Transfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n", true,
     kMalformed + "ein Chunk endet nicht mit einem Zeilenende."},
    {"StatusLineTooLong", "HTTP/1.1 200 " + std::string(9000, 'k') + "\r\n\r\n", true,
     kMalformed + "eine Zeile der Antwort ist zu lang."},
    {"HeaderLineTooLong", kStatus + "X: " + std::string(9000, 'v') + "\r\n\r\n", true,
     kMalformed + "eine Zeile der Antwort ist zu lang."},
    {"HeaderLineWithoutEndTooLong", kStatus + "X: " + std::string(9000, 'v'), true,
     kMalformed + "eine Zeile der Antwort ist zu lang."},
    {"ChunkExtensionTooLong", kStatus + "Transfer-Encoding: chunked\r\n\r\n1;" + std::string(9000, 'e') + "\r\n",
     true, kMalformed + "eine Zeile der Antwort ist zu lang."},
};

void PrintTo(const BadCase& c, std::ostream* out) { *out << c.name; }

class Malformed : public ::testing::TestWithParam<BadCase> {};

TEST_P(Malformed, FailsWithAClearMessage) {
  const BadCase& c = GetParam();
  for (size_t piece : {size_t{1}, size_t{5}, c.response.size() + 1}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    EXPECT_EQ(Parse(c.response, piece, c.closeAtEnd).error, c.error);
  }
}

INSTANTIATE_TEST_SUITE_P(Responses, Malformed, ::testing::ValuesIn(kBadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ResponseLimits, TheWholeHeaderIsLimitedToItsSize) {
  std::string response = kStatus;
  while (response.size() < 70 * 1024) response += "X-Filler: " + std::string(1000, 'f') + "\r\n";
  EXPECT_EQ(Parse(response + "\r\n", 4096, true).error, kMalformed + "der Antwortkopf ist zu groß.");
}

TEST(ResponseLimits, EndlessInterimAnswersCountAgainstTheHeader) {
  std::string response;
  while (response.size() < 70 * 1024) response += "HTTP/1.1 100 Continue\r\n\r\n";
  EXPECT_EQ(Parse(response, 4096, true).error, kMalformed + "der Antwortkopf ist zu groß.");
}

TEST(ResponseLimits, EndlessTrailerIsLimited) {
  std::string response = kStatus + "Transfer-Encoding: chunked\r\n\r\n0\r\n";
  while (response.size() < 70 * 1024) response += "X-Trailer: " + std::string(1000, 't') + "\r\n";
  EXPECT_EQ(Parse(response, 4096, true).error, kMalformed + "der Antwortkopf ist zu groß.");
}

TEST(ResponseLimits, AHeaderJustUnderTheLimitsIsRead) {
  std::string response = kStatus + "X: " + std::string(8 * 1024 - 3, 'v') + "\r\n";
  while (response.size() < 60 * 1024) response += "X-Filler: " + std::string(1000, 'f') + "\r\n";
  response += "Content-Length: 1\r\n\r\nx";
  const Parsed p = Parse(response, 777, false);
  EXPECT_EQ(p.error, "");
  EXPECT_EQ(p.body, "x");
}

// What fails first in the byte stream is reported, however the bytes were
// cut into pieces on their way (found by fuzzing: a long line that was no
// status line, or that also ran over the header's size, gave another
// message when it came in one piece).
TEST(ResponseLimits, TheFailureDoesNotDependOnHowTheBytesArrive) {
  const http::ParserLimits tight{40, 30};  // lines of 40 bytes, 30 bytes of header
  const http::ParserLimits roomy{40, 200};
  const struct {
    const char* what;
    http::ParserLimits limits;
    std::string response;
    std::string error;
  } cases[] = {
      {"no status line, also too long", tight, std::string(100, 'X') + "\r\n", "keine gültige HTTP/1.x-Statuszeile."},
      {"no status line after a carriage return, also too long", tight, "\r" + std::string(100, 'X') + "\r\n",
       "keine gültige HTTP/1.x-Statuszeile."},
      {"line too long after the header's size", tight, kStatus + "X: " + std::string(60, 'v') + "\r\n\r\n",
       "der Antwortkopf ist zu groß."},
      {"no status line after the header's size", tight, "HTTP/1.1 100 Continue..\r\n\r\nHTTX/1.1 200 OK\r\n\r\n",
       "der Antwortkopf ist zu groß."},
      {"line too long within the header's size", roomy, kStatus + std::string(45, 'v') + "\r\n\r\n",
       "eine Zeile der Antwort ist zu lang."},
  };
  for (const auto& c : cases) {
    for (size_t piece : {size_t{1}, size_t{5}, size_t{7}, c.response.size()}) {
      EXPECT_EQ(Parse(c.response, piece, true, c.limits).error, kMalformed + c.error)
          << c.what << ", pieces of " << piece;
    }
  }
}

TEST(ResponseLimits, ALargeChunkedBodyIsNotHeldByTheParser) {
  // A 1 GiB chunk announced: the parser passes the bytes on as they come.
  http::ResponseParser parser;
  Collect sink;
  const std::string head = kStatus + "Transfer-Encoding: chunked\r\n\r\n40000000\r\n";
  size_t used = parser.Feed(head.data(), head.size(), &sink);
  used += parser.Feed(head.data() + used, head.size() - used, &sink);
  EXPECT_EQ(used, head.size());
  const std::string piece(4096, 'p');
  for (int i = 0; i < 16; ++i) EXPECT_EQ(parser.Feed(piece.data(), piece.size(), &sink), piece.size());
  EXPECT_EQ(sink.bytes.size(), 16u * 4096u);
  EXPECT_THROW(parser.FeedEnd(), EIdConnClosedGracefully);
}

}  // namespace
