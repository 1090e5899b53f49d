// qx_test_server, the scripted server program of the end-to-end tests: it
// reads its script, tells its port, answers and logs the raw requests.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "script_file.h"
#include "server/idhttp.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(TestServerScript, ReadsEveryStep) {
  const auto scripts = testhttp::ParseScript(
      "# two connections\nconnection\nexpect\nsend HTTP/1.1 200 OK\\r\\n\\x41 \\\"\\\\\nstall 5\nclose\n"
      "\nconnection\n  reset\n",
      "");
  ASSERT_EQ(scripts.size(), 2u);
  const auto& steps = scripts[0].Steps();
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[1].bytes, "HTTP/1.1 200 OK\r\nA \"\\");
  EXPECT_EQ(steps[2].ms, 5);
  EXPECT_EQ(scripts[1].Steps()[0].kind, testhttp::Step::Kind::kReset);
  EXPECT_THROW(testhttp::ParseScript("expect\n", ""), testhttp::ScriptError);
  EXPECT_THROW(testhttp::ParseScript("connection\nsend \\q\n", ""), testhttp::ScriptError);
  EXPECT_THROW(testhttp::ParseScript("connection\nstall soon\n", ""), testhttp::ScriptError);
}

TEST(TestServerProgram, AnswersByItsScriptAndLogsTheRequests) {
  const std::string dir = std::filesystem::temp_directory_path() / ("qx-test-server-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/body.bin", std::ios::binary) << "1.5";
  std::ofstream(dir + "/script", std::ios::binary)
      << "connection\nexpect\nsend HTTP/1.1 200 OK\\r\\nContent-Length: 3\\r\\n\\r\\n\nsendfile body.bin\n"
      << "expect\nsend HTTP/1.1 404 Not Found\\r\\nContent-Length: 0\\r\\n\\r\\n\nclose\n";

  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::execl(QX_TEST_SERVER_PROGRAM, "qx_test_server", (dir + "/script").c_str(), "0", "--log",
            (dir + "/log").c_str(), "--timeout", "60", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  std::FILE* portLine = ::fdopen(out[0], "r");
  char line[32] = {};
  ASSERT_NE(std::fgets(line, sizeof line, portLine), nullptr);
  const int port = std::atoi(line);
  ASSERT_GT(port, 0);

  TIdHTTP http;
  const String base = L"http://127.0.0.1:" + std::to_wstring(port) + L"/qx/";
  EXPECT_EQ(http.Get(base + L"newest"), L"1.5");
  try {
    TMemoryStream target;
    http.Get(base + L"1.5/update.zip", target);
    ADD_FAILURE() << "no failure";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.Message(), L"HTTP/1.1 404 Not Found");
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::fclose(portLine);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  const std::string request = "GET /qx/newest HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nAccept: text/html, */*\r\nAccept-Encoding: identity\r\n"
                              "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n";
  const std::string log = ReadAll(dir + "/log");
  EXPECT_EQ(log.substr(0, log.find('\n') + 1 + request.size() + 1),
            "request 0 " + std::to_string(request.size()) + "\n" + request + "\n");
  EXPECT_NE(log.find("GET /qx/1.5/update.zip HTTP/1.1\r\n"), std::string::npos);
  std::filesystem::remove_all(dir);
}

}  // namespace
