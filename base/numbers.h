// Number parsing and the small text utilities every part of the program shares.
// All texts are CP932 byte strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/control.h"

namespace zarvel::base {

// Reads a number as a user types it: blanks around it, full-width digits, thousands commas,
// and an optional ":mm" minutes part. Never fails: no digits read as 0.
long double ParseNumber(std::string_view text);

// Text to int: "0x" hexadecimal, otherwise ParseNumber rounded as trunc(x ± 0.1).
// Values beyond the int32 range saturate.
int32_t AtoI(std::string_view text);

// Label, edit and combo box: ParseNumber of the text; check box: 1 or 0; anything else: 0.
long double ControlNumber(const Control& control);

// Full-width digits become ASCII digits; everything else is copied unchanged.
std::string HalfWidthDigits(std::string_view text);

// Each full-width space becomes two ASCII spaces (the byte length stays the same).
std::string FoldFullWidthSpaces(std::string_view text);

// n ASCII spaces, at most 1024.
std::string Spaces(int n);

// The text repeated n times, n capped at 256; n <= 0 gives an empty text.
std::string RepeatText(std::string_view text, int n);

// Cuts the zero-terminated buffer in place at each separator byte (never inside a two-byte
// character) and stores the start of each part in parts[]. The first part always exists; once
// max_parts is reached the rest stays in the last part. Returns the number of parts.
int SplitAt(char* buffer, int max_parts, char separator, char* parts[]);

// Rounds to a whole number with exact halves going toward zero (2.5 → 2, -2.5 → -2).
double RoundHalfDown(double x);

// 0 for a negative or not-a-number argument, else the square root.
double SafeSqrt(double x);

// ASCII letters upper-cased, two-byte characters left whole: the second byte of one may look
// like a letter (that of "Ｕ" is 't'), and folding it would make another character of it.
std::string UpperAscii(std::string_view text);

// Trims bytes up to and including the blank from both ends.
std::string_view TrimBlanks(std::string_view text);

// Clamps a real into the int32 range after truncating toward zero (NaN gives 0).
int32_t TruncToInt32(long double x);

}  // namespace zarvel::base
