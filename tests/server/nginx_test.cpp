// The two operations against nginx as the update host: the newest version
// text and a large update archive, byte for byte, over one connection.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "framework/classes.h"
#include "nginx_runner.h"
#include "server/idhttp.h"
#include "server/update_server.h"

namespace {

using testhttp::NginxRunner;

String Widen(const std::string& ascii) { return String(ascii.begin(), ascii.end()); }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// A sparse file of `size` bytes with random blocks spread over it, so that
// a misplaced or lost piece changes the hash.
void WriteArchive(const std::string& path, uint64_t size) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::mt19937_64 random(20240611);
  std::string block(64 * 1024, '\0');
  for (uint64_t at = 0; at + block.size() <= size; at += 3 * 1024 * 1024 + 4099) {
    for (auto& c : block) c = static_cast<char>(random());
    ASSERT_EQ(::fseeko(f, static_cast<off_t>(at), SEEK_SET), 0);
    ASSERT_EQ(std::fwrite(block.data(), 1, block.size(), f), block.size());
  }
  ASSERT_EQ(::fseeko(f, static_cast<off_t>(size - 3), SEEK_SET), 0);
  std::fwrite("end", 1, 3, f);
  std::fclose(f);
}

std::string Sha256(const std::string& path) {
  std::FILE* p = ::popen(("sha256sum '" + path + "'").c_str(), "r");
  char line[256] = {};
  const bool ok = std::fgets(line, sizeof line, p) != nullptr;
  ::pclose(p);
  return ok ? std::string(line).substr(0, 64) : "";
}

std::vector<std::string> Fields(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> fields;
  for (std::string f; in >> f;) fields.push_back(f);
  return fields;
}

class Nginx : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A short keep-alive time, so that a reconnect can be seen within a test.
    nginx = new NginxRunner(NginxRunner::Options{1});
    WriteFile(nginx->Root() + "/qx/newest", "1.5");
    WriteArchive(nginx->Root() + "/qx/1.5/update.zip", kArchiveSize);
    WriteFile(nginx->Root() + "/qx/1.4/update.zip", "small archive");
  }
  static void TearDownTestSuite() {
    delete nginx;
    nginx = nullptr;
  }
  TUpdateLocation Location() const { return UpdateLocationAt(Widen(nginx->Url("/qx/"))); }
  std::string Target() const { return nginx->Directory() + "/update.zip"; }

  static constexpr uint64_t kArchiveSize = 256ull << 20;
  static NginxRunner* nginx;
};

NginxRunner* Nginx::nginx = nullptr;

TEST_F(Nginx, BothResourcesArriveWholeOverOneConnection) {
  TIdHTTP http;
  const size_t logBefore = nginx->AccessLog().size();
  const String version = FetchNewestVersion(http, Location());
  EXPECT_EQ(version, L"1.5");
  {
    TFileStream target(Widen(Target()), fmCreate | fmShareDenyNone);
    DownloadUpdateArchive(http, version, target, Location());
  }
  EXPECT_EQ(std::filesystem::file_size(Target()), kArchiveSize);
  EXPECT_EQ(Sha256(Target()), Sha256(nginx->Root() + "/qx/1.5/update.zip"));

  const auto log = nginx->WaitForAccessLog(logBefore + 2, 5000);
  ASSERT_EQ(log.size(), logBefore + 2);
  const auto first = Fields(log[logBefore]);
  const auto second = Fields(log[logBefore + 1]);
  ASSERT_EQ(first.size(), 5u);
  ASSERT_EQ(second.size(), 5u);
  EXPECT_EQ(first[2], "/qx/newest");
  EXPECT_EQ(second[2], "/qx/1.5/update.zip");
  EXPECT_EQ(first[0], second[0]) << "not the same connection";
  EXPECT_EQ(second[1], "2");
  EXPECT_EQ(second[4], std::to_string(kArchiveSize));
  std::filesystem::remove(Target());
}

TEST_F(Nginx, ReconnectsWhenTheHostClosedTheIdleConnection) {
  TIdHTTP http;
  const size_t logBefore = nginx->AccessLog().size();
  EXPECT_EQ(FetchNewestVersion(http, Location()), L"1.5");
  // Longer than nginx keeps an idle connection, as when the user reads the confirmation.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  TMemoryStream target;
  DownloadUpdateArchive(http, L"1.4", target, Location());
  EXPECT_EQ(target.Bytes(), "small archive");
  const auto log = nginx->WaitForAccessLog(logBefore + 2, 5000);
  ASSERT_EQ(log.size(), logBefore + 2);
  EXPECT_NE(Fields(log[logBefore])[0], Fields(log[logBefore + 1])[0]);
}

TEST_F(Nginx, MissingArchiveIsAProtocolFailureAndLeavesTheTargetEmpty) {
  TIdHTTP http;
  TMemoryStream target;
  try {
    DownloadUpdateArchive(http, L"9.9", target, Location());
    FAIL() << "no failure";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.Message(), L"HTTP/1.1 404 Not Found");
    EXPECT_EQ(e.ErrorCode, 404);
    EXPECT_NE(e.ErrorMessage.find(L"404 Not Found"), String::npos);
  }
  EXPECT_EQ(target.Bytes(), "");
  // The failure answer left the connection usable.
  EXPECT_TRUE(http.Connected());
  EXPECT_EQ(FetchNewestVersion(http, Location()), L"1.5");
}

TEST_F(Nginx, AVersionTextWithBlanksReachesTheHostUnchanged) {
  TIdHTTP http;
  TMemoryStream target;
  const size_t logBefore = nginx->AccessLog().size();
  try {
    DownloadUpdateArchive(http, L" 1.5", target, Location());
    FAIL() << "no failure";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode, 400);  // the request line is malformed
  }
  EXPECT_EQ(target.Bytes(), "");
  // nginx may still be writing the line of the test before; ours is the 400.
  bool logged = false;
  for (size_t n = logBefore + 1; n <= logBefore + 3 && !logged; ++n) {
    const auto log = nginx->WaitForAccessLog(n, 5000);
    if (log.size() >= n) logged = Fields(log[n - 1])[3] == "400";
  }
  EXPECT_TRUE(logged) << "no 400 in nginx's access log";
}

}  // namespace
