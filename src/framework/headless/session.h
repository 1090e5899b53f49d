#pragma once
// The headless platform: runs the program's own window code without a screen,
// on a virtual clock, and records what a person would have seen.
//
// A test makes one Session, sets its inputs (command line, regional decimal
// separator, answers to dialogs, user actions at given pumps), calls
// RunProgram() and reads the timeline. Pauses advance the virtual clock;
// nothing sleeps.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/text.h"

namespace headless {

struct Event {
  int64_t atMs = 0;
  std::string kind;  // show, pump, pause, dialog, close, quit-posted, quit-taken, ...
  String text;
  std::string detail;
};

enum class UserAction { Close, Activate };

class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Inputs.
  String commandLine = L"\"C:\\Quorbix\\update.exe\"";
  String moduleFileName = L"C:\\Quorbix\\update.exe";
  wchar_t decimalSeparator = L'.';
  std::deque<int> dialogAnswers;  // mrOk / mrCancel, in the order the dialogs come
  std::map<int, std::vector<UserAction>> actionsAtPump;  // pump number, from 1
  // Runs at each pump with its number, before the user actions; lets a test
  // reach into the window while the sequence runs (a shorter time limit).
  std::function<void(int pump)> atPump;
  bool closeWhenLeftOpen = true;  // the user closes a window left open

  // Runs the program block; returns its exit code.
  int RunProgram();

  // Outputs.
  const std::vector<Event>& Events() const { return events_; }
  // One line per event: "<ms> <kind>[ <detail>][: <text>]", with line feeds and
  // carriage returns written as \n and \r.
  std::vector<std::string> Timeline() const;
  std::vector<std::string> TimelineOf(const std::vector<std::string>& kinds) const;
  int64_t Now() const { return nowMs_; }
  int PumpCount() const { return pumps_; }

  // Platform internals.
  void Record(std::string kind, String text = {}, std::string detail = {});
  void Advance(int64_t ms) { nowMs_ += ms; }
  bool quitPending = false;  // a quit message waits in the queue
  int NextPump() { return ++pumps_; }
  static Session& Current();

 private:
  std::vector<Event> events_;
  int64_t nowMs_ = 0;
  int pumps_ = 0;
};

}  // namespace headless
