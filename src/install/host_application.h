#pragma once
// Host application control: ending every running copy of the host
// application before the update archive is unpacked over its installation,
// and starting it again afterwards. Neither operation reports anything,
// raises anything or waits for the processes it affects.
#include "framework/forms.h"
#include "framework/text.h"

// All the updater knows of the host application on this side.
inline constexpr wchar_t HostApplicationExeName[] = L"quorbix.exe";
// Asks the restarted host application not to look for an update itself.
inline constexpr wchar_t HostApplicationStartArgument[] = L"dontupdate";

// Whether a process entry's executable name `exeFile` stands for
// `nameToMatch`: its file-name part (the text after the last "\" or ":", or
// the whole name when it has neither) or the whole name equals it, with only
// the letters a to z compared without regard to case. `exeFile` counts up to
// its first zero character, as the system's process entries end it.
bool ExeNameMatches(const String& exeFile, const String& nameToMatch);

// The process sweep: asks the system to terminate, with exit code 0, every
// running process whose executable matches `name`. Processes that may not be
// terminated are left alone; returns without waiting for the others to end.
void StopProcessesByExeName(const String& name);

// Starts the host application through the system shell: "quorbix.exe" with
// the single argument "dontupdate", looked up from the current directory and
// the system's search for programs, in the current directory. `owner` owns
// any message the system shows when it cannot be started; the result is not
// looked at.
void StartHostApplication(NativeWindow owner);
