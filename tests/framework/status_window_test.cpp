// The status window on the headless platform: start-up, the one-shot
// activation, the closing countdown and how closing ends the program.
#include <gtest/gtest.h>

#include "framework/headless/session.h"
#include "updatemain.h"

using headless::Session;
using headless::UserAction;
using Lines = std::vector<std::string>;

TEST(StatusWindow, StartsHiddenThenRunsTheCountdownAndEnds) {
  Session s;
  EXPECT_EQ(s.RunProgram(), 0);
  EXPECT_EQ(s.Timeline(), (Lines{
                              "0 window-created: Quorbix! Update",
                              "0 pause 1000",
                              "1000 window-shown: Quorbix! Update",
                              "1000 activate",
                              "1000 show: Schließe Anwendung (2)",
                              "1000 pump: Schließe Anwendung (2)",
                              "1000 pause 1000",
                              "2000 show: Schließe Anwendung (1)",
                              "2000 pump: Schließe Anwendung (1)",
                              "2000 pause 1000",
                              "3000 show: Schließe Anwendung (0)",
                              "3000 close",
                              "3000 quit-posted",
                              "3000 quit-taken",
                              "3000 exit 0",
                          }));
}

TEST(StatusWindow, ActivationDuringAndAfterTheSequenceStartsNothing) {
  Session s;
  s.actionsAtPump[1] = {UserAction::Activate};
  s.actionsAtPump[2] = {UserAction::Activate};
  EXPECT_EQ(s.RunProgram(), 0);
  // Only the first activation shows the countdown; the later ones return at once.
  EXPECT_EQ(s.TimelineOf({"activate", "show"}), (Lines{
                                                    "1000 activate",
                                                    "1000 show: Schließe Anwendung (2)",
                                                    "1000 activate",
                                                    "2000 show: Schließe Anwendung (1)",
                                                    "2000 activate",
                                                    "3000 show: Schließe Anwendung (0)",
                                                }));
}

TEST(StatusWindow, CloseAtAPumpPostsQuitAndTheProgramEndsAfterTheHandler) {
  Session s;
  s.actionsAtPump[1] = {UserAction::Close};
  EXPECT_EQ(s.RunProgram(), 0);
  const Lines t = s.TimelineOf({"pump", "user-close", "quit-posted", "quit-taken", "show", "exit"});
  EXPECT_EQ(t, (Lines{
                   "1000 show: Schließe Anwendung (2)",
                   "1000 pump: Schließe Anwendung (2)",
                   "1000 user-close",
                   "1000 quit-posted",
                   "1000 quit-taken",
                   // The countdown goes on: closing does not stop the running code.
                   "2000 show: Schließe Anwendung (1)",
                   "2000 pump: Schließe Anwendung (1)",
                   "3000 show: Schließe Anwendung (0)",
                   "3000 quit-posted",
                   "3000 exit 0",
               }));
}
