// printf-style formatting into a std::string (the program's texts are built with C formats).
#pragma once

#include <string>

namespace zarvel::base {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A UTF-8 text as a JSON string, quoted, with quotes, backslashes and control bytes escaped.
std::string JsonString(const std::string& utf8);

}  // namespace zarvel::base
