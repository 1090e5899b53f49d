#include "install/update_archive.h"

#include "framework/sysutils.h"
#include "install/file_ops.h"

String UpdateArchivePath() { return install::JoinPath(GetCurrentDir(), L"update.zip"); }

void UnpackUpdateArchive(TAbUnZipper& unzipper) {
  unzipper.OpenArchive(UpdateArchivePath());
  unzipper.ExtractFiles(L"*");
  unzipper.CloseArchive();
}

void RemoveUpdateArchive() {
  try {
    install::RemoveFileOrDirectoryLink(UpdateArchivePath());
  } catch (...) {
    // Removing the archive is nothing the update depends on.
  }
}
