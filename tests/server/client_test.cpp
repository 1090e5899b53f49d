// The HTTP client and the two operations against the scripted test server
// on 127.0.0.1, over the platform's sockets.
#include <gtest/gtest.h>

#include "client_cases.h"
#include "scripted_server.h"
#include "server/idhttp.h"
#include "server/update_server.h"
#include "test_socket.h"

namespace {

using client_cases::Case;
using client_cases::Op;
using client_cases::Outcome;
using testhttp::ConnectionScript;
using testhttp::ScriptedServer;

String Widen(const std::string& ascii) { return String(ascii.begin(), ascii.end()); }

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

const char* KindName(Outcome::Kind kind) {
  switch (kind) {
    case Outcome::kOk: return "success";
    case Outcome::kProtocol: return "EIdHTTPProtocolException";
    case Outcome::kSocket: return "EIdSocketError";
    case Outcome::kClosed: return "EIdConnClosedGracefully";
    case Outcome::kMalformed: return "EIdException";
  }
  return "?";
}

class Client : public ::testing::TestWithParam<Case> {};

bool ServerResets(const Case& c) {
  for (const auto& script : c.scripts) {
    for (const auto& step : script.Steps()) {
      if (step.kind == testhttp::Step::Kind::kReset) return true;
    }
  }
  return false;
}

TEST_P(Client, AnswersAsTheUpdaterNeeds) {
  const Case& c = GetParam();
  if (ServerResets(c) && !testhttp::sock::AbortResets()) GTEST_SKIP() << "the test server cannot reset here";
  ScriptedServer server(c.scripts);
  TIdHTTP http;
  http.ReadTimeoutMs = c.readTimeoutMs;
  const TUpdateLocation location = UpdateLocationAt(Widen(server.Url("/qx/")));

  for (size_t i = 0; i < c.calls.size(); ++i) {
    const auto& call = c.calls[i];
    SCOPED_TRACE("call " + std::to_string(i + 1));
    if (call.closeIdleBefore) server.CloseIdleConnections();
    TMemoryStream target;
    String text;
    Outcome got;
    try {
      if (call.op == Op::kFetchNewest) got.text = FetchNewestVersion(http, location);
      else DownloadUpdateArchive(http, call.argument, target, location);
    } catch (const EIdHTTPProtocolException& e) {
      got = {Outcome::kProtocol, e.Message(), {}, e.ErrorCode, e.ErrorMessage};
    } catch (const EIdSocketError& e) {
      got = {Outcome::kSocket, e.Message(), {}, e.LastError(), {}};
    } catch (const EIdConnClosedGracefully& e) {
      got = {Outcome::kClosed, e.Message(), {}, 0, {}};
    } catch (const EIdException& e) {
      got = {Outcome::kMalformed, e.Message(), {}, 0, {}};
    }
    EXPECT_STREQ(KindName(got.kind), KindName(call.expect.kind));
    EXPECT_EQ(got.text, call.expect.text);
    EXPECT_EQ(got.code, call.expect.code);
    EXPECT_EQ(got.errorBody, call.expect.errorBody);
    if (call.op == Op::kDownload) {
      EXPECT_EQ(target.Bytes(), call.expect.body);
    }
  }
  http.Disconnect();
  EXPECT_EQ(server.ConnectionsAccepted(), c.connections);
  if (!c.requests.empty()) {
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), c.requests.size());
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    for (size_t i = 0; i < requests.size(); ++i) EXPECT_EQ(requests[i].bytes, Replace(c.requests[i], "$HOST", host));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Client, ::testing::ValuesIn(client_cases::AllCases()),
                         [](const auto& info) { return info.param.name; });

// A port on which nothing listens.
uint16_t ClosedPort() {
  testhttp::sock::Library library;
  uint16_t port = 0;
  const auto listener = testhttp::sock::Listen(0, port);
  testhttp::sock::Close(listener);
  return port;
}

TEST(ClientConnection, RefusedIsASocketError) {
  TIdHTTP http;
  const String folder = L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/qx/";
  try {
    FetchNewestVersion(http, UpdateLocationAt(folder));
    FAIL() << "no failure";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10061);
    EXPECT_EQ(e.Message(), L"Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
  }
  EXPECT_FALSE(http.Connected());
}

TEST(ClientConnection, UnknownHostIsAResolverError) {
  TIdHTTP http;
  try {
    FetchNewestVersion(http, UpdateLocationAt(L"http://quorbix-update.invalid/qx/"));
    FAIL() << "no failure";
  } catch (const EIdSocketError& e) {
    // Without a name server the resolver may only say "try again".
    EXPECT_TRUE(e.LastError() == 11001 || e.LastError() == 11002) << e.LastError();
    if (e.LastError() == 11001) {
      EXPECT_EQ(e.Message(), L"Socket-Fehler # 11001\r\nHost nicht gefunden.");
    }
  }
}

TEST(ClientConnection, DestroyingTheClientClosesTheConnection) {
  ScriptedServer server({ConnectionScript().Answer(testhttp::Response("200 OK", {}, "1.5"))});
  {
    TIdHTTP http;
    EXPECT_EQ(http.Get(Widen(server.Url("/qx/newest"))), L"1.5");
    EXPECT_TRUE(http.Connected());
    EXPECT_FALSE(server.WaitUntilAllClosed(100));
  }
  EXPECT_TRUE(server.WaitUntilAllClosed(5000));
}

TEST(ClientSettings, AreThoseOfTheStatusWindow) {
  TIdHTTP http;
  EXPECT_TRUE(http.AllowCookies);
  EXPECT_EQ(http.HTTPOptions, THTTPOptions{hoForceEncodeParams});
  EXPECT_EQ(http.Request.Accept, L"text/html, */*");
  EXPECT_EQ(http.Request.UserAgent, L"Mozilla/3.0 (compatible; Indy Library)");
  EXPECT_FALSE(http.Request.BasicAuthentication);
  EXPECT_EQ(http.Request.ContentLength, -1);
  EXPECT_EQ(http.Request.ContentRangeStart, -1);
  EXPECT_EQ(http.Request.ContentRangeEnd, -1);
  EXPECT_EQ(http.Request.ContentRangeInstanceLength, -1);
  EXPECT_EQ(http.Request.Ranges.Count, 0u);
  EXPECT_EQ(http.Request.Ranges.Units, L"bytes");
  EXPECT_EQ(http.ProxyParams.ProxyServer, L"");
  EXPECT_EQ(http.ProxyParams.ProxyPort, 0);
  EXPECT_FALSE(http.ProxyParams.BasicAuthentication);
  EXPECT_EQ(http.ProtocolVersion, pv1_1);
  EXPECT_FALSE(http.HandleRedirects);
  EXPECT_EQ(http.ConnectTimeoutMs, 30000);
  EXPECT_EQ(http.ReadTimeoutMs, 60000);
}

TEST(UpdateLocation, IsTheOneTheProgramWasBuiltWith) {
  const TUpdateLocation location = UpdateLocation();
  EXPECT_EQ(location.NewestVersionAddress, L"" QX_UPDATE_LOCATION L"newest");
  EXPECT_EQ(location.ArchivePrefix, L"" QX_UPDATE_LOCATION);
  EXPECT_EQ(location.ArchiveSuffix, L"/update.zip");
}

TEST(ClientCookies, CanBeTurnedOff) {
  ScriptedServer server({ConnectionScript()
                             .Answer(testhttp::Response("200 OK", {"Set-Cookie: sid=1"}, "1.5"))
                             .Answer(testhttp::Response("200 OK", {}, "z"))});
  TIdHTTP http;
  http.AllowCookies = false;
  const TUpdateLocation location = UpdateLocationAt(Widen(server.Url("/qx/")));
  FetchNewestVersion(http, location);
  TMemoryStream target;
  DownloadUpdateArchive(http, L"1.5", target, location);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].bytes.find("Cookie"), std::string::npos);
  EXPECT_TRUE(http.Cookies().Cookies().empty());
}

}  // namespace
