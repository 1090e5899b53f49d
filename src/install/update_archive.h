#pragma once
// Unpacking the update archive into the host application's installation
// directory (the current directory), and removing it afterwards.
#include "framework/text.h"
#include "install/ab_unzipper.h"

// The full path of the update archive: update.zip in the current directory,
// where the download stage writes it.
String UpdateArchivePath();

// Opens the update archive in `unzipper`, unpacks every entry with the mask
// "*" and closes it. Only the opening raises (an EAbException); what becomes
// of single entries is not reported.
void UnpackUpdateArchive(TAbUnZipper& unzipper);

// Deletes the update archive; a directory link in its place is removed as a
// link. Never raises and reports nothing.
void RemoveUpdateArchive();
