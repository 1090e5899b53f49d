// The status window on the headless platform: start-up, the one-shot
// activation, the closing countdown and how closing ends the program. Started
// without a version, the sequence shows its request and then the countdown.
#include <gtest/gtest.h>

#include "framework/headless/session.h"
#include "updatemain.h"

using headless::Session;
using headless::UserAction;
using Lines = std::vector<std::string>;

TEST(StatusWindow, StartsHiddenThenRunsTheSequenceAndTheCountdownAndEnds) {
  Session s;
  EXPECT_EQ(s.RunProgram(), 0);
  EXPECT_EQ(s.Timeline(), (Lines{
                              "0 window-created: Quorbix! Update",
                              "0 pause 1000",
                              "1000 window-shown: Quorbix! Update",
                              "1000 activate",
                              "1000 show: Bitte über Quorbix! starten",
                              "1000 pump: Bitte über Quorbix! starten",
                              "1000 pause 2000",
                              "3000 show: Schließe Anwendung (2)",
                              "3000 pump: Schließe Anwendung (2)",
                              "3000 pause 1000",
                              "4000 show: Schließe Anwendung (1)",
                              "4000 pump: Schließe Anwendung (1)",
                              "4000 pause 1000",
                              "5000 show: Schließe Anwendung (0)",
                              "5000 close",
                              "5000 quit-posted",
                              "5000 quit-taken",
                              "5000 exit 0",
                          }));
}

TEST(StatusWindow, ActivationDuringAndAfterTheSequenceStartsNothing) {
  Session s;
  s.actionsAtPump[1] = {UserAction::Activate};
  s.actionsAtPump[3] = {UserAction::Activate};
  EXPECT_EQ(s.RunProgram(), 0);
  // Only the first activation runs the sequence; the later ones return at once.
  EXPECT_EQ(s.TimelineOf({"activate", "show"}), (Lines{
                                                    "1000 activate",
                                                    "1000 show: Bitte über Quorbix! starten",
                                                    "1000 activate",
                                                    "3000 show: Schließe Anwendung (2)",
                                                    "4000 show: Schließe Anwendung (1)",
                                                    "4000 activate",
                                                    "5000 show: Schließe Anwendung (0)",
                                                }));
}

TEST(StatusWindow, CloseAtAPumpPostsQuitAndTheProgramEndsAfterTheHandler) {
  Session s;
  s.actionsAtPump[2] = {UserAction::Close};
  EXPECT_EQ(s.RunProgram(), 0);
  // The countdown stops at the pump that took the close request; the program
  // ends once the activation handler has returned.
  EXPECT_EQ(s.TimelineOf({"pump", "user-close", "close", "quit-posted", "quit-taken", "show", "exit"}),
            (Lines{
                "1000 show: Bitte über Quorbix! starten",
                "1000 pump: Bitte über Quorbix! starten",
                "3000 show: Schließe Anwendung (2)",
                "3000 pump: Schließe Anwendung (2)",
                "3000 user-close",
                "3000 close",
                "3000 quit-posted",
                "3000 quit-taken",
                "3000 exit 0",
            }));
}
