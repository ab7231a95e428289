// The English text of every code the library returns (clpGetErrorText).
#pragma once

#include <string_view>

#include "vexq4/clprotocol/clprotocol.h"

namespace vexq4::clprotocol {

// Empty for a code the library does not know.
std::string_view ErrorText(CLINT32 code);

}  // namespace vexq4::clprotocol
