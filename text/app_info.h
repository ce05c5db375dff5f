// The program's fixed name.
#pragma once

#include <string>

namespace zarvel::text {

// "棒材Zarvel５" in CP932.
const std::string& ApplicationTitle();

}  // namespace zarvel::text
