// The version check: the installed version from the command line, the newest
// from the update host, and what the user sees for each outcome.
#include <gtest/gtest.h>

#include "framework/dialogs.h"
#include "sequence_fixture.h"

using headless::UserAction;

namespace {

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Lines kNoNewVersion = {
    "1000 show: Keine neue Version (3)", "1000 pump: Keine neue Version (3)", "1000 pause 1000",
    "2000 show: Keine neue Version (2)", "2000 pump: Keine neue Version (2)", "2000 pause 1000",
    "3000 show: Keine neue Version (1)", "3000 pump: Keine neue Version (1)", "3000 pause 1000",
    "4000 show: Keine neue Version (0)", "4000 close",                        "4000 exit 0",
};

}  // namespace

TEST_F(SequenceTest, WithoutAVersionAsksToStartThroughQuorbixAndAsksNothingOfTheHost) {
  Serve({});
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Seen(), Concat(Concat({"0 pause 1000", "1000 show: Bitte über Quorbix! starten",
                                   "1000 pump: Bitte über Quorbix! starten", "1000 pause 2000"},
                                  ClosingCountdownFrom(3000)),
                           {"5000 exit 0"}));
  EXPECT_EQ(server->ConnectionsAccepted(), 0);
}

TEST_F(SequenceTest, EmptyQuotedArgumentsAreSkipped) {
  Serve({});
  EXPECT_EQ(Run("\"\" \"\""), 0);
  EXPECT_EQ(Seen().at(1), "1000 show: Bitte über Quorbix! starten");
  EXPECT_EQ(server->ConnectionsAccepted(), 0);
}

TEST_F(SequenceTest, UpToDateOrNewerCountsDownAndCloses) {
  const struct {
    const char* installed;
    const char* newest;
  } cases[] = {{"1.5", "1.5"}, {"1.50", "1.5"}, {"\"\" 1.5", "1.50"}, {"1.6", "1.5"}, {"\" 2 \"", "1.9"},
               {"1.5E0", "15e-1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " against " + c.newest);
    headless::Session fresh;
    ServeNewest(c.newest);
    EXPECT_EQ(Run(c.installed), 0);
    EXPECT_EQ(fresh.TimelineOf({"show", "pump", "pause", "dialog", "close", "exit"}),
              Concat({"0 pause 1000"}, kNoNewVersion));
    EXPECT_EQ(RequestLines(), Lines{"GET /qx/newest HTTP/1.1"});
  }
}

TEST_F(SequenceTest, AHigherVersionIsOfferedAndCancelClosesWithTheCountdown) {
  ServeNewest("1.9");
  session.dialogAnswers = {mrCancel};
  EXPECT_EQ(Run("1.10"), 0);  // decimal numbers: 1.10 is less than 1.9
  EXPECT_EQ(Seen(), Concat(Concat({"0 pause 1000",
                                   "1000 dialog Bestätigen [information] [OK*,Abbrechen] -> Abbrechen: "
                                   "Ihre Version: 1.10\\n\\rAktuelle Version: 1.9\\n\\rUpdaten?"},
                                  ClosingCountdownFrom(1000)),
                           {"3000 exit 0"}));
  EXPECT_EQ(RequestLines(), Lines{"GET /qx/newest HTTP/1.1"});
}

TEST_F(SequenceTest, FailuresOfTheCheckShowTheErrorReportAndLeaveTheWindowOpen) {
  const struct {
    const char* name;
    const char* installed;
    std::string response;  // empty: nothing listens
    const char* report;
  } cases[] = {
      {"error status", "1.4", testhttp::Response("404 Not Found", {}, "nope"), "HTTP/1.1 404 Not Found."},
      {"redirect", "1.4", testhttp::Response("302 Found", {"Location: http://127.0.0.1:1/qx/newest"}, ""),
       "HTTP/1.1 302 Found."},
      {"newest ends in a line break", "1.4", testhttp::Response("200 OK", {}, "1.5\r\n"),
       "'1.5\r\n' ist kein gültiger Gleitkommawert."},
      {"byte-order mark", "1.4", testhttp::Response("200 OK", {"Content-Type: text/plain; charset=utf-8"}, "\xEF\xBB\xBF" "1.5"),
       "'\xEF\xBB\xBF" "1.5' ist kein gültiger Gleitkommawert."},
      {"both invalid: the newest is named", "1.2.3", testhttp::Response("200 OK", {}, "v1.5"),
       "'v1.5' ist kein gültiger Gleitkommawert."},
      {"installed invalid", "1.2.3", testhttp::Response("200 OK", {}, "1.5"),
       "'1.2.3' ist kein gültiger Gleitkommawert."},
      {"nobody listens", "1.4", "", "Socket-Fehler # 10061\r\nVerbindung abgelehnt."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    headless::Session fresh;
    server.reset();
    if (!c.response.empty()) {
      testhttp::ConnectionScript script;
      script.Answer(c.response);
      Serve({script});
    }
    EXPECT_EQ(Run(c.installed), 0);
    std::string report = c.report;
    std::string escaped;
    for (char ch : report) escaped += ch == '\r' ? std::string("\\r") : ch == '\n' ? std::string("\\n") : std::string(1, ch);
    EXPECT_EQ(fresh.TimelineOf({"show", "pump", "pause", "dialog", "error-report", "left-open", "user-close", "close",
                                "exit"}),
              (Lines{"0 pause 1000", "1000 error-report update [error] [OK]: " + escaped, "1000 left-open",
                     "1000 user-close", "1000 close", "1000 exit 0"}));
  }
}

TEST_F(SequenceTest, TheUsersDecimalSeparatorReadsBothVersions) {
  {
    ServeNewest("1,5");
    session.decimalSeparator = L',';
    session.dialogAnswers = {mrCancel};
    Run("1,4");
    EXPECT_EQ(Seen().at(1), "1000 dialog Bestätigen [information] [OK*,Abbrechen] -> Abbrechen: "
                            "Ihre Version: 1,4\\n\\rAktuelle Version: 1,5\\n\\rUpdaten?");
  }
  headless::Session fresh;
  ServeNewest("1.5");
  fresh.decimalSeparator = L',';
  Run("1,4");
  EXPECT_EQ(fresh.TimelineOf({"error-report"}),
            Lines{"1000 error-report update [error] [OK]: '1.5' ist kein gültiger Gleitkommawert."});
}

TEST_F(SequenceTest, ACloseTakenAtAPumpEndsTheSequenceThere) {
  ServeNewest("1.5");
  session.actionsAtPump[2] = {UserAction::Close};
  EXPECT_EQ(Run("1.5"), 0);
  EXPECT_EQ(Seen(), (Lines{"0 pause 1000", "1000 show: Keine neue Version (3)", "1000 pump: Keine neue Version (3)",
                           "1000 pause 1000", "2000 show: Keine neue Version (2)", "2000 pump: Keine neue Version (2)",
                           "2000 user-close", "2000 close", "2000 exit 0"}));
}

TEST_F(SequenceTest, ACloseDuringTheWaitWithoutAVersionEndsTheProgram) {
  Serve({});
  session.actionsAtPump[1] = {UserAction::Close};
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Seen(), (Lines{"0 pause 1000", "1000 show: Bitte über Quorbix! starten",
                           "1000 pump: Bitte über Quorbix! starten", "1000 user-close", "1000 close", "1000 exit 0"}));
}
