#pragma once
// The program block, defined by the program itself; the platform's entry
// point runs it with a fresh application object and returns its exit code.
int ProgramMain();
