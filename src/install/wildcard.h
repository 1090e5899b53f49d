#pragma once
// File masks as the unzip component compares them with entry names.
#include "framework/text.h"

namespace install {

// Whether `name` matches `mask`, where "*" stands for any run of characters
// and "?" for exactly one. Letters are compared without regard to case (ASCII
// and Latin-1). An empty name matches no mask.
bool MatchesMask(const String& mask, const String& name);

}  // namespace install
