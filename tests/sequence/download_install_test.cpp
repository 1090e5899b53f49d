// The download and the installation: what the user sees, what reaches the
// update host, and what the installation directory holds afterwards.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include "framework/dialogs.h"
#include "updatemain.h"
#include "sequence_fixture.h"

using testhttp::ConnectionScript;
using testhttp::Response;

namespace {

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const char* kUpdateQuestion =
    "1000 dialog Bestätigen [information] [OK*,Abbrechen] -> OK: "
    "Ihre Version: 1.4\\n\\rAktuelle Version: 1.5\\n\\rUpdaten?";
const char* kClosingQuestionOk =
    "1000 dialog Bestätigen [information] [OK*,Abbrechen] -> OK: Quorbix! muss geschlossen werden\\n\\rOK?";

// "newest" and then the archive response, on one kept-alive connection.
ConnectionScript NewestThenArchive(const std::string& archiveResponse) {
  ConnectionScript c;
  c.Answer(Response("200 OK", {"Content-Type: text/plain"}, "1.5")).Answer(archiveResponse);
  return c;
}

std::string Hex(size_t n) {
  char text[32];
  std::snprintf(text, sizeof text, "%zx", n);
  return text;
}

Lines FailedDownload() {
  return Concat({"0 pause 1000", kUpdateQuestion, "1000 show: Lade neue Version", "1000 pump: Lade neue Version",
                 "1000 message update [OK]: unbekannter Fehler :("},
                Concat(ClosingCountdownFrom(1000), {"3000 exit 0"}));
}

}  // namespace

TEST_F(SequenceTest, ConfirmedUpdateDownloadsStopsUnpacksRestartsAndCloses) {
  WriteFile("quorbix.exe", "version 1.4");
  WriteFile("keep.txt", "not in the archive");
  const std::string archive = MakeZip({{"quorbix.exe", "version 1.5"}, {"bin/data.dll", "data 1.5"}});
  ASSERT_FALSE(archive.empty());
  Serve({NewestThenArchive(Response("200 OK", {"Content-Type: application/zip"}, archive))});
  session.dialogAnswers = {mrOk, mrOk};
  EXPECT_EQ(Run("1.4"), 0);
  EXPECT_EQ(Seen(), Concat(Concat({"0 pause 1000",
                                   kUpdateQuestion,
                                   "1000 show: Lade neue Version",
                                   "1000 pump: Lade neue Version",
                                   kClosingQuestionOk,
                                   "1000 show: Schließe Quorbix!",
                                   "1000 sweep: quorbix.exe",
                                   "1000 sweep: quorbix.exe",
                                   "1000 sweep: quorbix.exe",
                                   "1000 pump: Schließe Quorbix!",
                                   "1000 pause 1000",
                                   "2000 show: Entpacke neue Version",
                                   "2000 pump: Entpacke neue Version",
                                   "2000 pause 1000",
                                   "3000 show: Starte Quorbix!",
                                   "3000 start-host dontupdate: quorbix.exe",
                                   "3000 pump: Starte Quorbix!",
                                   "3000 pause 1000",
                                   "4000 show: Update erfolgreich",
                                   "4000 pump: Update erfolgreich",
                                   "4000 pause 1000"},
                                  ClosingCountdownFrom(5000)),
                           {"7000 exit 0"}));
  EXPECT_EQ(RequestLines(), (Lines{"GET /qx/newest HTTP/1.1", "GET /qx/1.5/update.zip HTTP/1.1"}));
  EXPECT_EQ(server->ConnectionsAccepted(), 1);
  EXPECT_EQ(ReadFile("quorbix.exe"), "version 1.5");
  EXPECT_EQ(ReadFile("data.dll"), "data 1.5");
  EXPECT_FALSE(Exists("bin"));
  EXPECT_EQ(ReadFile("keep.txt"), "not in the archive");
  EXPECT_FALSE(Exists("update.zip"));
}

TEST_F(SequenceTest, DownloadFailuresEndBeforeTheHostApplicationIsTouched) {
  const std::string archive = MakeZip({{"quorbix.exe", "version 1.5"}});
  const size_t half = archive.size() / 2;
  const std::string contentLengthHead = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(archive.size()) + "\r\n\r\n";
  // One chunk announced for the whole archive, of which half arrives.
  const std::string chunkedHalf = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                  Hex(archive.size()) + "\r\n" + archive.substr(0, half);
  enum class Then { kClose, kReset, kStall };
  const struct {
    const char* name;
    std::string archiveResponse;
    Then then;
    size_t archiveSizeAfter;
    std::string afterStall = {};
  } cases[] = {
      {"error status", Response("404 Not Found", {}, "<html>fehlt</html>"), Then::kClose, 0},
      {"an error page served as success", Response("200 OK", {"Content-Type: text/html"}, "<html>Wartung</html>"),
       Then::kClose, 20},
      {"an empty body", Response("200 OK", {}, ""), Then::kClose, 0},
      {"an archive cut short", Response("200 OK", {}, archive.substr(0, archive.size() - 30)), Then::kClose,
       archive.size() - 30},
      {"a body shorter than announced",
       "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(archive.size() + 100) + "\r\n\r\n" + archive,
       Then::kClose, archive.size()},
      {"the connection closed in the middle of the archive", contentLengthHead + archive.substr(0, half),
       Then::kClose, half},
      {"the connection reset in the middle of the archive", contentLengthHead + archive.substr(0, half),
       Then::kReset, half},
      {"the connection closed in the middle of a chunk", chunkedHalf, Then::kClose, half},
      {"the connection reset in the middle of a chunk", chunkedHalf, Then::kReset, half},
      // The rest would come after the time limit.
      {"the host stalls in the middle of the archive", contentLengthHead + archive.substr(0, half), Then::kStall,
       half, archive.substr(half)},
      {"the host stalls in the middle of a chunk", chunkedHalf, Then::kStall, half,
       archive.substr(half) + "\r\n0\r\n\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    headless::Session fresh;
    fresh.dialogAnswers = {mrOk, mrOk};
    // The download pump comes before the archive is asked for; the host's
    // silence then ends the download after 300 ms instead of a minute.
    fresh.atPump = [](int pump) {
      if (pump == 1) Form1->IdHTTP1->ReadTimeoutMs = 300;
    };
    WriteFile("quorbix.exe", "version 1.4");
    WriteFile("update.zip", "left over from an earlier run, longer than any of the bodies above .....");
    ConnectionScript script = NewestThenArchive(c.archiveResponse);
    if (c.then == Then::kReset) script.Stall(100).Reset();
    if (c.then == Then::kStall) script.Stall(3000).Send(c.afterStall);
    script.Close();
    Serve({script});
    EXPECT_EQ(Run("1.4"), 0);
    // Neither sweep nor start: the host application is not touched.
    EXPECT_EQ(Seen(), FailedDownload());
    EXPECT_EQ(ReadFile("quorbix.exe"), "version 1.4");
    // Emptied at the start of the download, then holding what arrived.
    EXPECT_EQ(ReadFile("update.zip").size(), c.archiveSizeAfter);
  }
}

TEST_F(SequenceTest, AnArchiveFileThatCannotBeCreatedFailsTheDownload) {
  ASSERT_EQ(mkdir((installDir + "/update.zip").c_str(), 0755), 0);  // a folder stands in its place
  Serve({NewestThenArchive(Response("200 OK", {}, MakeZip({{"a.txt", "a"}})))});
  session.dialogAnswers = {mrOk, mrOk};
  EXPECT_EQ(Run("1.4"), 0);
  EXPECT_EQ(Seen(), FailedDownload());
  EXPECT_EQ(RequestLines(), Lines{"GET /qx/newest HTTP/1.1"});
}

TEST_F(SequenceTest, DecliningToCloseQuorbixKeepsTheCompleteArchive) {
  const std::string archive = MakeZip({{"quorbix.exe", "version 1.5"}});
  Serve({NewestThenArchive(Response("200 OK", {}, archive))});
  session.dialogAnswers = {mrOk, mrCancel};
  EXPECT_EQ(Run("1.4"), 0);
  EXPECT_EQ(Seen(), Concat(Concat({"0 pause 1000", kUpdateQuestion, "1000 show: Lade neue Version",
                                   "1000 pump: Lade neue Version",
                                   "1000 dialog Bestätigen [information] [OK*,Abbrechen] -> Abbrechen: "
                                   "Quorbix! muss geschlossen werden\\n\\rOK?"},
                                  ClosingCountdownFrom(1000)),
                           {"3000 exit 0"}));
  EXPECT_EQ(ReadFile("update.zip"), archive);
  EXPECT_FALSE(Exists("quorbix.exe"));
}

TEST_F(SequenceTest, TheDownloadReconnectsWhenTheHostClosedTheIdleConnection) {
  const std::string archive = MakeZip({{"quorbix.exe", "version 1.5"}});
  ConnectionScript first;
  first.Answer(Response("200 OK", {}, "1.5")).Close();
  ConnectionScript second;
  second.Answer(Response("200 OK", {}, archive));
  Serve({first, second});
  session.dialogAnswers = {mrOk, mrOk};
  EXPECT_EQ(Run("1.4"), 0);
  EXPECT_EQ(server->ConnectionsAccepted(), 2);
  EXPECT_EQ(ReadFile("quorbix.exe"), "version 1.5");
}

TEST_F(SequenceTest, ACloseAtTheDownloadPumpEndsTheSequenceWithoutAnyFileChange) {
  Serve({NewestThenArchive(Response("200 OK", {}, MakeZip({{"a.txt", "a"}})))});
  session.dialogAnswers = {mrOk, mrOk};
  session.actionsAtPump[1] = {headless::UserAction::Close};
  EXPECT_EQ(Run("1.4"), 0);
  EXPECT_EQ(Seen(), (Lines{"0 pause 1000", kUpdateQuestion, "1000 show: Lade neue Version",
                           "1000 pump: Lade neue Version", "1000 user-close", "1000 close", "1000 exit 0"}));
  EXPECT_FALSE(Exists("update.zip"));
  EXPECT_EQ(RequestLines(), Lines{"GET /qx/newest HTTP/1.1"});
}
