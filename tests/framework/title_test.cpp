#include <gtest/gtest.h>

#include "framework/forms.h"

TEST(ApplicationTitle, FromExecutableFileName) {
  const struct {
    const wchar_t* path;
    const wchar_t* title;
  } cases[] = {
      {L"C:\\Programme\\Quorbix\\update.exe", L"update"},
      {L"C:\\Programme\\Quorbix\\Update.exe", L"Update"},
      {L"C:\\Programme\\Quorbix\\UPDATE.EXE", L"Update"},
      {L"C:\\a.b\\QXUpdate.v2.exe", L"Qxupdate"},
      {L"D:update.exe", L"update"},
      {L"\\\\server\\share\\ÄNDERN.EXE", L"Ändern"},
      {L"noextension", L"noextension"},
      {L"C:\\x\\.hidden.exe", L""},
      {L"X.exe", L"X"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ApplicationTitleFromPath(c.path), c.title) << StringToUtf8(c.path);
  }
}

TEST(ErrorReport, FullStopAppendedAfterCharactersAboveIt) {
  const struct {
    const wchar_t* message;
    const wchar_t* shown;
  } cases[] = {
      {L"HTTP/1.1 404 Not Found", L"HTTP/1.1 404 Not Found."},
      {L"Host nicht gefunden.", L"Host nicht gefunden."},
      {L"Ende!", L"Ende!"},          // '!' sorts before '.'
      {L"Ende-", L"Ende-"},          // '-' sorts before '.'
      {L"Ende/", L"Ende/."},         // '/' sorts after '.'
      {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorReportText(c.message), c.shown) << StringToUtf8(c.message);
  }
}
