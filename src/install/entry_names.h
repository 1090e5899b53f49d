#pragma once
// Entry names of the update archive: how their bytes are read, and which file
// in the current directory an entry is written to.
#include <cstdint>
#include <string_view>

#include "framework/text.h"

namespace install {

// UTF-8 as RFC 3629 allows it: no overlong forms, no surrogates, nothing
// beyond U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// The name as UTF-8 when the entry's UTF-8 flag is set or its bytes are valid
// UTF-8, otherwise in the machine's OEM code page. A zero byte ends the name,
// as it does for the file system calls and for other ZIP readers.
String DecodeEntryName(std::string_view bytes, uint16_t flags);

// The last component of the name (after slashes have become backslashes,
// what follows the last backslash or colon). Empty when the entry has no file
// of its own in the current directory: the component is empty, made only of
// dots and spaces (the directory itself or its parent), or a device name that
// Windows reserves in every directory (CON, NUL, COM1, ...).
String TargetFileName(const String& entryName);

}  // namespace install
