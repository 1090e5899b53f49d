// Fuzz target: what an update host sends back. The response goes through the
// parser cut into pieces at points taken from the first bytes of the input,
// and once more in one piece; both must come out the same. What the client
// does with a complete response follows: the cookies of its Set-Cookie
// fields, the text of its body read as the newest version, the archive
// address and the next request built from that text, or the protocol
// failure of an unsuccessful answer.
//
// Input: cut count and cut points, one byte of limits and flags, then the
// bytes of the connection.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "framework/sysutils.h"
#include "fuzz_input.h"
#include "server/cookie_jar.h"
#include "server/exceptions.h"
#include "server/http_request.h"
#include "server/http_response_parser.h"
#include "server/text_decoding.h"
#include "server/update_server.h"
#include "server/url.h"

namespace {

using Phase = http::ResponseParser::Phase;

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "http_response: %s\n", what);
  std::abort();
}

struct Collect final : http::BodySink {
  std::string bytes;
  void OnBody(const char* data, size_t size) override { bytes.append(data, size); }
};

struct Outcome {
  bool failed = false;
  std::string error;
  Phase phase = Phase::kHead;
  size_t consumed = 0;
  std::string body;
  http::ResponseHead head;
  http::BodyFraming framing = http::BodyFraming::kNone;
  bool keepAlive = false;
};

// Feeds the pieces in turn, as the client does with what each receive
// gives; `closeAtEnd` means the connection closes after the last byte.
Outcome Parse(std::string_view bytes, const std::vector<size_t>& pieces, const http::ParserLimits& limits,
              bool closeAtEnd) {
  http::ResponseParser parser(limits);
  Collect sink;
  Outcome outcome;
  try {
    size_t pos = 0;
    for (size_t piece : pieces) {
      size_t used = 0;
      while (used < piece && parser.phase() != Phase::kComplete) {
        const size_t step = parser.Feed(bytes.data() + pos + used, piece - used, &sink);
        if (step > piece - used) Broken("Feed took more bytes than it was given");
        if (step == 0 && parser.phase() != Phase::kComplete) Broken("Feed took nothing of an incomplete response");
        used += step;
      }
      pos += used;
      if (parser.phase() == Phase::kComplete) break;
    }
    outcome.consumed = pos;
    if (parser.phase() == Phase::kComplete && parser.Feed(bytes.data(), bytes.size(), &sink) != 0) {
      Broken("a complete response took more bytes");
    }
    if (parser.phase() != Phase::kComplete && closeAtEnd) {
      parser.FeedEnd();
      if (parser.phase() != Phase::kComplete) Broken("FeedEnd returned on an incomplete response");
    }
  } catch (const EIdException& e) {
    outcome.failed = true;
    outcome.error = e.what();
  }
  outcome.phase = parser.phase();
  outcome.body = std::move(sink.bytes);
  if (parser.phase() != Phase::kHead) {
    outcome.head = parser.Head();
    outcome.framing = parser.Framing();
    outcome.keepAlive = parser.KeepAlive();
  }
  return outcome;
}

bool SameHead(const http::ResponseHead& a, const http::ResponseHead& b) {
  if (a.statusLine != b.statusLine || a.statusCode != b.statusCode || a.minorVersion != b.minorVersion ||
      a.fields.size() != b.fields.size()) {
    return false;
  }
  for (size_t i = 0; i < a.fields.size(); ++i) {
    if (a.fields[i].name != b.fields[i].name || a.fields[i].value != b.fields[i].value) return false;
  }
  return true;
}

void CheckComplete(const Outcome& o) {
  const int code = o.head.statusCode;
  if (code < 100 || code > 999 || (code < 200 && code != 101)) Broken("final head with an interim status");
  if (o.framing == http::BodyFraming::kNone && !o.body.empty()) Broken("body without framing");
  if (o.framing == http::BodyFraming::kUntilClose && o.keepAlive) Broken("keep-alive on a body ended by the close");
}

// What the client does with the head and body of a response.
void UseResponse(const Outcome& o, int64_t now) {
  const std::string host = "127.0.0.1";
  const std::string target = "/qx/newest";
  http::CookieJar jar;
  for (std::string_view value : o.head.FindAll("Set-Cookie")) jar.Store(value, host, target, now);

  const String text = http::DecodeBody(o.body, o.head.Find("Content-Type"));
  if (o.head.statusCode < 200 || o.head.statusCode > 299) {
    const EIdHTTPProtocolException failure(BytesToString(o.head.statusLine), o.head.statusCode, text);
    if (failure.ErrorCode != o.head.statusCode) Broken("protocol failure lost its status code");
    return;
  }
  // The text as the newest version: read as a number, and set into the
  // archive's address unchanged.
  try {
    (void)StrToFloat(text, TFormatSettings{L'.'});
  } catch (const EConvertError&) {
  }
  const TUpdateLocation location = UpdateLocationAt(L"http://127.0.0.1:8080/qx/");
  try {
    const http::Url url = http::ParseUrl(location.ArchivePrefix + text + location.ArchiveSuffix);
    http::RequestSettings settings;
    settings.accept = "text/html, */*";
    settings.userAgent = "Mozilla/3.0 (compatible; Indy Library)";
    settings.protocolVersion = "1.1";
    settings.cookie = jar.HeaderFor(url.host, url.target, now);
    const std::string request = http::BuildGetRequest(url, settings);
    // The version text goes into the request line unchanged, but the
    // request goes out as 7-bit ASCII.
    for (char c : request) {
      if (static_cast<unsigned char>(c) >= 0x80) Broken("request with a byte that is not 7-bit ASCII");
    }
  } catch (const EIdException&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::InputReader in(data, size);
  // The cut points come first, but they are positions in what follows.
  fuzzing::InputReader cuts = in;
  const size_t cutCount = in.Byte() % 17;
  for (size_t i = 0; i < cutCount; ++i) in.Le16();
  const uint8_t flags = in.Byte();
  const std::string_view bytes = in.Rest();
  const std::vector<size_t> pieces = fuzzing::CutPieces(cuts, bytes.size(), 16);

  http::ParserLimits limits;
  if (flags & 1) {
    limits.maxLine = 40;  // small limits, so that short inputs reach them
    limits.maxHeader = 200;
  }
  const bool closeAtEnd = (flags & 2) == 0;

  const Outcome cut = Parse(bytes, pieces, limits, closeAtEnd);
  const Outcome whole = Parse(bytes, {bytes.size()}, limits, closeAtEnd);
  if (cut.failed != whole.failed || cut.error != whole.error) {
    std::fprintf(stderr, "in pieces: %s\nwhole: %s\n", cut.failed ? cut.error.c_str() : "no failure",
                 whole.failed ? whole.error.c_str() : "no failure");
    Broken("the cuts changed whether the response fails");
  }
  if (!whole.failed) {
    if (cut.phase != whole.phase || cut.consumed != whole.consumed || cut.body != whole.body ||
        cut.framing != whole.framing || cut.keepAlive != whole.keepAlive || !SameHead(cut.head, whole.head)) {
      Broken("the cuts changed the response");
    }
  }
  if (whole.phase == Phase::kComplete && !whole.failed) {
    CheckComplete(whole);
    UseResponse(whole, static_cast<int64_t>(flags >> 2) * 1000003);
  }
  return 0;
}
