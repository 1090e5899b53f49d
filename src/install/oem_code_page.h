#pragma once
// The machine's OEM code page, in which archivers of DOS and Windows store
// entry names that are not marked as UTF-8.
#include <string_view>

#include "framework/text.h"

namespace install {

String OemCodePageToString(std::string_view bytes);

}  // namespace install
