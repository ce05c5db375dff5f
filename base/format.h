// printf-style formatting into a std::string (the program's texts are built with C formats).
#pragma once

#include <string>

namespace zarvel::text {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zarvel::text
