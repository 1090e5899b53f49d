#pragma once
// A headless run of the program block against a scripted update host on the
// port the build's update location names.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/headless/session.h"
#include "scripted_server.h"

using Lines = std::vector<std::string>;

class SequenceTest : public ::testing::Test {
 protected:
  // Each test runs in an installation directory of its own, the current
  // directory.
  void SetUp() override;
  void TearDown() override;

  // Serves these connection scripts on the update location's port.
  void Serve(std::vector<testhttp::ConnectionScript> scripts);
  // "newest" answered with this body, then the connection stays open.
  void ServeNewest(const std::string& body);

  // Runs update.exe with this argument text after the program's path, in the
  // newest session (a test may open a fresh one for each case).
  int Run(const std::string& arguments);

  // What a person sees: status texts, pumps, pauses, dialogs, reports, the close.
  Lines Seen() const;
  // The requests that reached the update host, as their request lines.
  Lines RequestLines() const;

  // A file of the installation directory.
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;
  void WriteFile(const std::string& name, const std::string& bytes) const;

  headless::Session session;
  std::string installDir;
  std::string previousDir;
  std::unique_ptr<testhttp::ScriptedServer> server;
};

// A ZIP archive made by Info-ZIP zip with these files (name, content).
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& files);

// The status texts and pauses of the closing countdown, as the timeline shows
// them from its start at `ms`.
Lines ClosingCountdownFrom(long ms);
