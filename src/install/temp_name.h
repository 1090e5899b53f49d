#pragma once
// Names of the temporary files the unpacking writes an entry into.
#include "framework/text.h"

namespace install {

// "~qx" + 16 random hexadecimal digits + ".tmp", never equal to `avoidName`
// (compared without regard to ASCII case).
String RandomTemporaryName(const String& avoidName);

// How often a clash with an existing file is answered with a new name.
constexpr int kTemporaryNameAttempts = 16;

}  // namespace install
