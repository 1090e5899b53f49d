// The request bytes, the address split, the text decoding of bodies and the
// German socket error texts.
#include <gtest/gtest.h>

#include <string>

#include "server/exceptions.h"
#include "server/http_request.h"
#include "server/socket_errors.h"
#include "server/text_decoding.h"
#include "server/url.h"

namespace {

http::RequestSettings Settings(std::string cookie = {}) {
  return {"text/html, */*", "Mozilla/3.0 (compatible; Indy Library)", "1.1", std::move(cookie)};
}

TEST(Request, HasExactlyTheLinesOfTheUpdater) {
  EXPECT_EQ(http::BuildGetRequest(http::ParseUrl(L"http://update.quorbix.example/qx/newest"), Settings()),
            "GET /qx/newest HTTP/1.1\r\n"
            "Host: update.quorbix.example\r\n"
            "Accept: text/html, */*\r\n"
            "Accept-Encoding: identity\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
            "\r\n");
}

TEST(Request, NamesAPortOtherThan80AndCarriesCookies) {
  EXPECT_EQ(http::BuildGetRequest(http::ParseUrl(L"http://Update.Example:8080/qx/1.5/update.zip"),
                                  Settings("sid=abc; b=2")),
            "GET /qx/1.5/update.zip HTTP/1.1\r\n"
            "Host: update.example:8080\r\n"
            "Accept: text/html, */*\r\n"
            "Accept-Encoding: identity\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
            "Cookie: sid=abc; b=2\r\n"
            "\r\n");
}

struct TargetCase {
  const wchar_t* address;
  const char* target;
};

void PrintTo(const TargetCase& c, std::ostream* out) { *out << c.target; }

class Targets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(Targets, AreTakenUnchangedButForNonAscii) {
  EXPECT_EQ(http::ParseUrl(GetParam().address).target, GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(
    Address, Targets,
    ::testing::Values(TargetCase{L"http://h/qx/ 1.5 /update.zip", "/qx/ 1.5 /update.zip"},
                      TargetCase{L"http://h/qx/1,5/update.zip", "/qx/1,5/update.zip"},
                      TargetCase{L"http://h/qx/a%20b?c#d/update.zip", "/qx/a%20b?c#d/update.zip"},
                      TargetCase{L"http://h/qx/1.5\u00e4/update.zip", "/qx/1.5?/update.zip"},
                      TargetCase{L"http://h/qx/\U0001F600/update.zip", "/qx/?/update.zip"},
                      TargetCase{L"http://h/qx/\ufeff1.5/update.zip", "/qx/?1.5/update.zip"},
                      TargetCase{L"http://h", "/"}, TargetCase{L"HTTP://h:81", "/"}));

TEST(Address, HostAndPort) {
  const http::Url url = http::ParseUrl(L"http://127.0.0.1:65535/qx/");
  EXPECT_EQ(url.host, "127.0.0.1");
  EXPECT_EQ(url.port, 65535);
  EXPECT_EQ(url.HostHeader(), "127.0.0.1:65535");
  EXPECT_EQ(http::ParseUrl(L"http://h:80/").HostHeader(), "h");
}

TEST(Address, OthersAreRefused) {
  for (const wchar_t* bad : {L"https://h/qx/", L"ftp://h/", L"http:///qx/", L"http://h:0/", L"http://h:65536/",
                             L"http://h:/", L"http://h:8x/", L"http://user@h/", L"h/qx/newest"}) {
    SCOPED_TRACE(StringToUtf8(bad));
    try {
      http::ParseUrl(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EIdException& e) {
      EXPECT_EQ(e.Message(), String(L"Ungültige Adresse: ") + bad);
    }
  }
}

struct DecodeCase {
  const char* name;
  std::string body;
  const char* contentType;  // nullptr: no Content-Type
  String text;
};

const DecodeCase kDecodeCases[] = {
    {"Utf8", "1.5 \xc3\xa4\xe2\x82\xac", "text/plain; charset=UTF-8", L"1.5 \u00e4\u20ac"},
    {"Utf8QuotedAndOddCase", "\xc3\xa4", "text/plain;Charset=\"utf-8\"", L"\u00e4"},
    {"Utf8ByteOrderMarkStays", "\xef\xbb\xbf" "1.5\r\n", "text/plain; charset=utf-8", L"\ufeff1.5\r\n"},
    {"Utf8WithoutContentTypeIsOneCharPerByte", "\xc3\xa4", nullptr, L"\u00c3\u00a4"},
    {"TextWithoutCharsetIsLatin1", "\xe4", "text/plain", L"\u00e4"},
    {"Latin1", "\xe4\x80", "text/html; charset=ISO-8859-1", L"\u00e4\u0080"},
    {"Windows1252", "\x80\x9f\x81\xe4", "text/plain; charset=windows-1252", L"\u20ac\u0178\u0081\u00e4"},
    {"UsAscii", "1.5\xe4", "text/plain; charset=us-ascii", L"1.5\ufffd"},
    {"UnknownCharsetIsOneCharPerByte", "\xc3\xa4", "text/plain; charset=x-klingon", L"\u00c3\u00a4"},
    {"OtherTypeIsOneCharPerByte", "\xe4", "application/octet-stream", L"\u00e4"},
    {"NothingIsTrimmed", " 1.5 \r\n", "text/plain", L" 1.5 \r\n"},
    {"NulBytesStay", std::string("1\0" "5", 3), "text/plain", String(L"1\0" L"5", 3)},
};

void PrintTo(const DecodeCase& c, std::ostream* out) { *out << c.name; }

class Decoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, FollowsTheCharsetOfTheContentType) {
  const DecodeCase& c = GetParam();
  const std::string type = c.contentType != nullptr ? c.contentType : "";
  EXPECT_EQ(http::DecodeBody(c.body, c.contentType != nullptr ? &type : nullptr), c.text);
}

INSTANTIATE_TEST_SUITE_P(Body, Decoding, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SocketErrors, ReadInGerman) {
  EXPECT_EQ(EIdSocketError(11001).Message(), L"Socket-Fehler # 11001\r\nHost nicht gefunden.");
  EXPECT_EQ(EIdSocketError(10061).Message(), L"Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
  EXPECT_EQ(EIdSocketError(10060).Message(), L"Socket-Fehler # 10060\r\nZeitüberschreitung bei Verbindung.");
  EXPECT_EQ(EIdSocketError(10054).Message(), L"Socket-Fehler # 10054\r\nVerbindung von Peer zurückgesetzt.");
  EXPECT_EQ(EIdSocketError(10054).LastError(), 10054);
  EXPECT_EQ(EIdSocketError(12345).Message(), L"Socket-Fehler # 12345\r\nUnbekannter Socket-Fehler.");
  for (int n : {10013, 10048, 10049, 10050, 10051, 10052, 10053, 10056, 10057, 10058, 10064, 10065, 11002, 11003,
                11004}) {
    EXPECT_NE(SocketErrorText(n), L"Unbekannter Socket-Fehler.") << n;
  }
  EXPECT_EQ(EIdConnClosedGracefully().Message(), L"Die Verbindung wurde erfolgreich geschlossen.");
}

}  // namespace
