#include "sequence_fixture.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

void SequenceTest::SetUp() {
  if (std::string(QX_TEST_HOST) != "127.0.0.1") {
    GTEST_SKIP() << "the build's update location is not on loopback; build with UPDATE_LOCATION=http://127.0.0.1:PORT/qx/";
  }
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  previousDir = cwd;
  std::string pattern = (fs::temp_directory_path() / "qx-sequence-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  installDir = pattern;
  ASSERT_EQ(chdir(installDir.c_str()), 0);
}

void SequenceTest::TearDown() {
  if (previousDir.empty()) return;
  server.reset();
  EXPECT_EQ(chdir(previousDir.c_str()), 0);
  std::error_code ec;
  fs::remove_all(installDir, ec);
}

std::string SequenceTest::ReadFile(const std::string& name) const {
  std::ifstream in(fs::path(installDir) / name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool SequenceTest::Exists(const std::string& name) const { return fs::exists(fs::path(installDir) / name); }

void SequenceTest::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream(fs::path(installDir) / name, std::ios::binary) << bytes;
}

std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string pattern = (fs::temp_directory_path() / "qx-zip-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  const fs::path dir = pattern;
  std::string names;
  for (const auto& [name, content] : files) {
    fs::create_directories((dir / name).parent_path());
    std::ofstream(dir / name, std::ios::binary) << content;
    names += " '" + name + "'";
  }
  const std::string command = "cd '" + dir.string() + "' && zip -q -X archive.zip" + names;
  std::string archive;
  if (std::system(command.c_str()) == 0) {
    std::ifstream in(dir / "archive.zip", std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    archive = bytes.str();
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return archive;
}

void SequenceTest::Serve(std::vector<testhttp::ConnectionScript> scripts) {
  server.reset();  // the port is taken until the last server is gone
  server = std::make_unique<testhttp::ScriptedServer>(std::move(scripts), static_cast<uint16_t>(QX_TEST_PORT));
}

void SequenceTest::ServeNewest(const std::string& body) {
  testhttp::ConnectionScript c;
  c.Answer(testhttp::Response("200 OK", {"Content-Type: text/plain"}, body));
  Serve({c});
}

int SequenceTest::Run(const std::string& arguments) {
  auto& s = headless::Session::Current();
  s.commandLine = L"\"C:\\Quorbix\\update.exe\"" + (arguments.empty() ? String() : L" " + Utf8ToString(arguments));
  return s.RunProgram();
}

Lines SequenceTest::Seen() const {
  return headless::Session::Current().TimelineOf({"show", "pump", "pause", "dialog", "message", "error-report", "close", "left-open",
                             "user-close", "sweep", "start-host", "exit"});
}

Lines SequenceTest::RequestLines() const {
  Lines lines;
  if (!server) return lines;
  for (const auto& r : server->Requests()) lines.push_back(r.bytes.substr(0, r.bytes.find("\r\n")));
  return lines;
}

Lines ClosingCountdownFrom(long ms) {
  const std::string t0 = std::to_string(ms), t1 = std::to_string(ms + 1000), t2 = std::to_string(ms + 2000);
  return {t0 + " show: Schließe Anwendung (2)", t0 + " pump: Schließe Anwendung (2)", t0 + " pause 1000",
          t1 + " show: Schließe Anwendung (1)", t1 + " pump: Schließe Anwendung (1)", t1 + " pause 1000",
          t2 + " show: Schließe Anwendung (0)", t2 + " close"};
}
