// The symbol that a price file's name proposes for the security whose prices it holds.
#pragma once

#include <string>

#include "engine/ConversionSettings.h"

namespace engine {

// The symbol a file's prices start with: its name without the last extension, in upper case, only
// the characters code page `codePage` holds, cut to the 16 that MASTER holds.
std::string SymbolOfFile(const std::string& path, int codePage);

}  // namespace engine
