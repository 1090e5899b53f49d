// The headless platform writes each host application operation to the
// timeline, where the sequence tests look for it.
#include <gtest/gtest.h>

#include "framework/headless/session.h"
#include "install/host_application.h"

TEST(HostApplicationHeadless, RecordsTheSweepAndTheStart) {
  headless::Session session;
  StopProcessesByExeName(L"quorbix.exe");
  StartHostApplication(nullptr);
  EXPECT_EQ(session.Timeline(),
            (std::vector<std::string>{"0 sweep: quorbix.exe", "0 start-host dontupdate: quorbix.exe"}));
}
