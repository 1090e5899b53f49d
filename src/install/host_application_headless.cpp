// Host application control on the headless platform: nothing runs, so each
// operation is only written to the session's timeline for the sequence tests.
#include "framework/headless/session.h"
#include "install/host_application.h"

void StopProcessesByExeName(const String& name) {
  headless::Session::Current().Record("sweep", name);
}

void StartHostApplication(NativeWindow) {
  headless::Session::Current().Record("start-host", HostApplicationExeName,
                                      StringToUtf8(HostApplicationStartArgument));
}
