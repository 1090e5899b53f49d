#include "client_cases.h"

namespace client_cases {

namespace {

using testhttp::ConnectionScript;
using testhttp::Response;

Outcome Text(String text) { return {Outcome::kOk, std::move(text), {}, 0, {}}; }
Outcome Body(std::string body) { return {Outcome::kOk, {}, std::move(body), 0, {}}; }
Outcome Protocol(String statusLine, int code, String errorBody = {}) {
  return {Outcome::kProtocol, std::move(statusLine), {}, code, std::move(errorBody)};
}
Outcome Socket(int number, String text, std::string bodySoFar = {}) {
  return {Outcome::kSocket, L"Socket-Fehler # " + std::to_wstring(number) + L"\r\n" + text, std::move(bodySoFar),
          number, {}};
}
Outcome Closed(std::string bodySoFar = {}) {
  return {Outcome::kClosed, L"Die Verbindung wurde erfolgreich geschlossen.", std::move(bodySoFar), 0, {}};
}
Outcome Malformed(String what) {
  return {Outcome::kMalformed, L"Ungültige Antwort des Update-Servers: " + what, {}, 0, {}};
}

const std::string kPlain = "Content-Type: text/plain";
const std::string kZip = "Content-Type: application/zip";
const std::string kArchive = std::string("PK\x03\x04\x14\x00\x00\x00", 8) + std::string(3000, '\xA5') + "end";

Call Newest(Outcome o) { return {Op::kFetchNewest, L"", std::move(o)}; }
Call Download(String version, Outcome o) { return {Op::kDownload, std::move(version), std::move(o)}; }
std::string Hex(size_t n) {
  static const char* const kDigits = "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[n % 16]);
    n /= 16;
  } while (n > 0);
  return out;
}

std::string Request(const std::string& target, const std::string& cookie = {}) {
  return "GET " + target +
         " HTTP/1.1\r\nHost: $HOST\r\nAccept: text/html, */*\r\nAccept-Encoding: identity\r\n"
         "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n" +
         (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") + "\r\n";
}

std::string Chunked(const std::string& status, const std::string& chunks) {
  return "HTTP/1.1 " + status + "\r\n" + kZip + "\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks;
}

ConnectionScript Answers(std::vector<std::string> responses) {
  ConnectionScript s;
  for (auto& r : responses) s.Answer(std::move(r));
  return s;
}

}  // namespace

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  auto add = [&](Case c) { cases.push_back(std::move(c)); };

  // The two requests of a run, byte for byte, on one kept-open connection.
  add({"BothRequestsExactlyOnOneConnection",
       {Answers({Response("200 OK", {kPlain}, "1.5"), Response("200 OK", {kZip}, kArchive)})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body(kArchive))},
       1,
       {Request("/qx/newest"), Request("/qx/1.5/update.zip")}});
  add({"VersionTextGoesIntoThePathUnchanged",
       {Answers({Response("200 OK", {kPlain}, " 1.5"), Response("400 Bad Request", {}, "")})},
       {Newest(Text(L" 1.5")), Download(L" 1.5", Protocol(L"HTTP/1.1 400 Bad Request", 400))},
       1,
       {Request("/qx/newest"), Request("/qx/ 1.5/update.zip")}});
  add({"NonAsciiInTheTargetBecomesAQuestionMark",
       {Answers({Response("404 Not Found", {}, "")})},
       {Download(L"1.5\u00e4", Protocol(L"HTTP/1.1 404 Not Found", 404))},
       1,
       {Request("/qx/1.5?/update.zip")}});

  // The newest version text.
  add({"NewestWithLineEndKeepsIt", {Answers({Response("200 OK", {kPlain}, "1.5\r\n")})},
       {Newest(Text(L"1.5\r\n"))}, 1});
  add({"NewestInUtf8", {Answers({Response("200 OK", {"Content-Type: text/plain; charset=UTF-8"}, "\xef\xbb\xbf" "1.5\xc3\xa4")})},
       {Newest(Text(L"\ufeff1.5\u00e4"))}, 1});
  add({"NewestUtf8BytesWithoutContentType", {Answers({Response("200 OK", {}, "1.5\xc3\xa4")})},
       {Newest(Text(L"1.5\u00c3\u00a4"))}, 1});
  add({"NewestInWindows1252", {Answers({Response("200 OK", {"Content-Type: text/plain; charset=windows-1252"}, "\x80")})},
       {Newest(Text(L"\u20ac"))}, 1});
  add({"NewestChunked", {Answers({Chunked("200 OK", "1\r\n1\r\n2\r\n.5\r\n0\r\n\r\n")})}, {Newest(Text(L"1.5"))}, 1});
  add({"NewestNoContent", {Answers({"HTTP/1.1 204 No Content\r\n\r\n"})}, {Newest(Text(L""))}, 1});

  // Every framing of the archive.
  add({"ArchiveChunked",
       {Answers({Chunked("200 OK", "4\r\nPK\x03\x04\r\n" + Hex(kArchive.size() - 4) + "\r\n" + kArchive.substr(4) + "\r\n0\r\nX-T: 1\r\n\r\n")})},
       {Download(L"1.5", Body(kArchive))}, 1});
  add({"ArchiveUntilClose", {ConnectionScript().Answer("HTTP/1.1 200 OK\r\n" + kZip + "\r\n\r\n" + kArchive).Close()},
       {Download(L"1.5", Body(kArchive))}, 1});
  add({"ArchiveEmptyLength", {Answers({Response("200 OK", {kZip}, "")})}, {Download(L"1.5", Body(""))}, 1});
  add({"ArchiveNoContent", {Answers({"HTTP/1.1 204 No Content\r\n\r\n"})}, {Download(L"1.5", Body(""))}, 1});
  add({"ArchiveGzipStaysCompressed",
       {Answers({Response("200 OK", {kZip, "Content-Encoding: gzip"}, "\x1f\x8b\x08\x00rest")})},
       {Download(L"1.5", Body("\x1f\x8b\x08\x00rest"))}, 1});
  add({"InterimAnswerThenSuccess",
       {Answers({"HTTP/1.1 100 Continue\r\n\r\n" + Response("200 OK", {kPlain}, "1.5")})}, {Newest(Text(L"1.5"))}, 1});

  // Every verdict class: the status line as received, the code, the body.
  add({"NotFound",
       {Answers({Response("404 Not Found", {"Content-Type: text/html"}, "<h1>Nicht gefunden</h1>")})},
       {Newest(Protocol(L"HTTP/1.1 404 Not Found", 404, L"<h1>Nicht gefunden</h1>"))}, 1});
  add({"NotFoundArchiveLeavesTheTargetEmpty",
       {Answers({Response("404 Not Found", {"Content-Type: text/html"}, "<h1>Nicht gefunden</h1>")})},
       {Download(L"1.5", Protocol(L"HTTP/1.1 404 Not Found", 404, L"<h1>Nicht gefunden</h1>"))}, 1});
  add({"MovedPermanentlyIsNotFollowed",
       {Answers({Response("301 Moved Permanently", {"Location: /qx/elsewhere"}, "")})},
       {Newest(Protocol(L"HTTP/1.1 301 Moved Permanently", 301))}, 1, {Request("/qx/newest")}});
  add({"FoundIsNotFollowed",
       {Answers({Response("302 Found", {"Location: http://127.0.0.1:1/qx/1.5/update.zip"}, "moved")})},
       {Download(L"1.5", Protocol(L"HTTP/1.1 302 Found", 302, L"moved"))}, 1});
  add({"Unauthorized", {Answers({Response("401 Unauthorized", {"WWW-Authenticate: Basic realm=\"qx\""}, "")})},
       {Newest(Protocol(L"HTTP/1.1 401 Unauthorized", 401))}, 1});
  add({"ProxyAuthenticationRequired", {Answers({Response("407 Proxy Authentication Required", {}, "")})},
       {Newest(Protocol(L"HTTP/1.1 407 Proxy Authentication Required", 407))}, 1});
  add({"ServerErrorBodyDecoded",
       {Answers({Response("500 Internal Server Error", {"Content-Type: text/plain; charset=utf-8"}, "Fehler \xc3\xa4")})},
       {Download(L"1.5", Protocol(L"HTTP/1.1 500 Internal Server Error", 500, L"Fehler \u00e4"))}, 1});
  add({"StatusLineExactlyAsReceived",
       {Answers({"HTTP/1.0 503 Bitte  sp\xe4ter \r\nContent-Length: 0\r\n\r\n"})},
       {Newest(Protocol(L"HTTP/1.0 503 Bitte  sp\u00e4ter ", 503))}, 1});
  add({"ChunkedFailureBody", {Answers({Chunked("404 Not Found", "3\r\nweg\r\n0\r\n\r\n")})},
       {Download(L"1.5", Protocol(L"HTTP/1.1 404 Not Found", 404, L"weg"))}, 1});
  add({"FailureBodyCutShortStillReportsTheStatus",
       {ConnectionScript().Answer("HTTP/1.1 404 Not Found\r\nContent-Length: 50\r\n\r\nweg").Close()},
       {Newest(Protocol(L"HTTP/1.1 404 Not Found", 404, L"weg"))}, 1});
  add({"SwitchingProtocolsIsAFailure", {Answers({"HTTP/1.1 101 Switching Protocols\r\nUpgrade: h2c\r\n\r\n"})},
       {Newest(Protocol(L"HTTP/1.1 101 Switching Protocols", 101))}, 1});

  // Transfers that break off.
  add({"ShortBodyIsAFailure",
       {ConnectionScript().Answer("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + kArchive.substr(0, 1000)).Close()},
       {Download(L"1.5", Closed(kArchive.substr(0, 1000)))}, 1});
  add({"ChunkedCutBeforeTheLastChunk",
       {ConnectionScript().Answer(Chunked("200 OK", "3\r\nabc\r\n")).Close()}, {Download(L"1.5", Closed("abc"))}, 1});
  add({"ClosedBeforeTheStatusLine", {ConnectionScript().ExpectRequest().Close()}, {Newest(Closed())}, 1});
  add({"ResetBeforeTheStatusLine", {ConnectionScript().ExpectRequest().Reset()},
       {Newest(Socket(10054, L"Verbindung von Peer zurückgesetzt."))}, 1});
  add({"ResetInTheBody",
       {ConnectionScript().Answer("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\nPK").Stall(200).Reset()},
       {Download(L"1.5", Socket(10054, L"Verbindung von Peer zurückgesetzt.", "PK"))}, 1});
  add({"SilentServer", {ConnectionScript().ExpectRequest().Stall(3000)},
       {Newest(Socket(10060, L"Zeitüberschreitung bei Verbindung."))}, 1, {}, 300});
  add({"SilentInTheBody",
       {ConnectionScript().Answer("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\nPK\x03\x04").Stall(3000)},
       {Download(L"1.5", Socket(10060, L"Zeitüberschreitung bei Verbindung.", "PK\x03\x04"))}, 1, {}, 300});

  // Garbage instead of an HTTP/1.x response.
  add({"NotHttpAtAll", {ConnectionScript().Answer("SSH-2.0-OpenSSH_9.2p1\r\n")},
       {Newest(Malformed(L"keine gültige HTTP/1.x-Statuszeile."))}, 1});
  add({"Http2Preface", {ConnectionScript().Answer(std::string("\x00\x00\x12\x04\x00\x00\x00\x00\x00", 9))},
       {Newest(Malformed(L"keine gültige HTTP/1.x-Statuszeile."))}, 1});
  add({"BareBodyWithoutStatusLine", {ConnectionScript().Answer("1.5").Close()},
       {Newest(Malformed(L"keine gültige HTTP/1.x-Statuszeile."))}, 1});
  add({"EndlessHeader", {ConnectionScript().Answer("HTTP/1.1 200 OK\r\n" + std::string(70000, 'X'))},
       {Newest(Malformed(L"eine Zeile der Antwort ist zu lang."))}, 1});
  add({"ConflictingLengths", {Answers({"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\n1.5"})},
       {Newest(Malformed(L"widersprüchliche Längenangaben (Content-Length)."))}, 1});
  add({"ChunkSizeNotHex", {Answers({Chunked("200 OK", "xyz\r\n")})},
       {Download(L"1.5", Malformed(L"ungültige Chunk-Größe."))}, 1});

  // When the connection is reused and when a new one is opened.
  add({"ConnectionCloseOpensANewOne",
       {Answers({Response("200 OK", {kPlain, "Connection: Close "}, "1.5")}), Answers({Response("200 OK", {kZip}, "z")})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body("z"))}, 2});
  add({"ProxyConnectionCloseOpensANewOne",
       {Answers({Response("200 OK", {"Proxy-Connection: close"}, "1.5")}), Answers({Response("200 OK", {}, "z")})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body("z"))}, 2});
  add({"Http10OpensANewOne",
       {Answers({"HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\n1.5"}), Answers({Response("200 OK", {}, "z")})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body("z"))}, 2});
  add({"ReconnectsWhenTheServerClosedTheIdleConnection",
       {Answers({Response("200 OK", {kPlain}, "1.5")}), Answers({Response("200 OK", {kZip}, kArchive)})},
       {Newest(Text(L"1.5")), {Op::kDownload, L"1.5", Body(kArchive), true}}, 2,
       {Request("/qx/newest"), Request("/qx/1.5/update.zip")}});
  // The update host drops the reused connection just as the next request
  // arrives: the request goes once more over a new one.
  add({"ReusedConnectionClosedUnansweredIsOpenedAgain",
       {Answers({Response("200 OK", {kPlain}, "1.5")}).ExpectRequest().Close(),
        Answers({Response("200 OK", {kZip}, kArchive)})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body(kArchive))}, 2});
  add({"ReusedConnectionResetUnansweredIsOpenedAgain",
       {Answers({Response("200 OK", {kPlain}, "1.5")}).ExpectRequest().Reset(),
        Answers({Response("200 OK", {kZip}, kArchive)})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body(kArchive))}, 2});
  add({"KeptOpenAfterAFailureAnswer",
       {Answers({Response("404 Not Found", {}, "x"), Response("200 OK", {}, "1.5")})},
       {Newest(Protocol(L"HTTP/1.1 404 Not Found", 404, L"x")), Newest(Text(L"1.5"))}, 1});
  add({"NewConnectionAfterABrokenTransfer",
       {ConnectionScript().Answer("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n1.").Close(),
        Answers({Response("200 OK", {}, "1.5")})},
       {Newest(Closed()), Newest(Text(L"1.5"))}, 2});
  add({"StrayBytesAfterTheResponseOpenANewOne",
       {Answers({Response("200 OK", {}, "1.5") + "HTTP/1.1 200 OK\r\n"}), Answers({Response("200 OK", {}, "z")})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body("z"))}, 2});

  // Cookies of the run.
  add({"CookieGoesBackWithTheDownload",
       {Answers({Response("200 OK", {kPlain, "Set-Cookie: sid=31d4d96e; Path=/qx", "Set-Cookie: lang=de"}, "1.5"),
                 Response("200 OK", {kZip}, "z")})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body("z"))}, 1,
       {Request("/qx/newest"), Request("/qx/1.5/update.zip", "sid=31d4d96e; lang=de")}});
  add({"NoCookieWhenNoneWasSet",
       {Answers({Response("200 OK", {kPlain}, "1.5"), Response("200 OK", {kZip}, "z")})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body("z"))}, 1,
       {Request("/qx/newest"), Request("/qx/1.5/update.zip")}});
  add({"CookieOfAFailureIsKept",
       {Answers({Response("503 Service Unavailable", {"Set-Cookie: queue=7; Max-Age=600"}, ""),
                 Response("200 OK", {}, "1.5")})},
       {Newest(Protocol(L"HTTP/1.1 503 Service Unavailable", 503)), Newest(Text(L"1.5"))}, 1,
       {Request("/qx/newest"), Request("/qx/newest", "queue=7")}});
  add({"CookieForAnotherPathStaysBack",
       {Answers({Response("200 OK", {"Set-Cookie: a=1; Path=/qx/newest", "Set-Cookie: gone=1; Max-Age=0"}, "1.5"),
                 Response("200 OK", {}, "z")})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body("z"))}, 1,
       {Request("/qx/newest"), Request("/qx/1.5/update.zip")}});
  add({"CookieForeignDomainRejected",
       {Answers({Response("200 OK", {"Set-Cookie: a=1; Domain=quorbix.example"}, "1.5"), Response("200 OK", {}, "z")})},
       {Newest(Text(L"1.5")), Download(L"1.5", Body("z"))}, 1,
       {Request("/qx/newest"), Request("/qx/1.5/update.zip")}});
  return cases;
}

}  // namespace client_cases
