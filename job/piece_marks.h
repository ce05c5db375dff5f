// Piece marks (符号) kept beside the cut list in a job file: a "[Marks]" section after every
// line of "[FmUnit1]", so that files without marks stay exactly as they were.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "optimiser/records.h"

namespace zarvel::job {

inline constexpr const char* kMarksSection = "[Marks]";
// Most marks a file is read with, and the longest mark (bytes, cut at a whole character).
inline constexpr std::size_t kMaxMarks = 100000;
inline constexpr std::size_t kMaxMarkBytes = 32;

// "[Marks]", "Marks = N" and one comma row per mark (mark, length, count); nothing without marks.
std::vector<std::string> MarkLines(const std::vector<optimiser::PieceMark>& marks);

// The marks of a job file's text (CP932): none without a "[Marks]" section. Rows that are not a
// mark with a length and a count of at least 1 are skipped.
std::vector<optimiser::PieceMark> ReadMarks(std::string_view content);

// Adds `count` pieces of `length` marked `mark` to the list: merged with an equal mark of the same
// length, otherwise appended (the order marks are met is the order they are given out).
void AddMark(std::vector<optimiser::PieceMark>& marks, const std::string& mark, int32_t length,
             int32_t count);

// The marks of pieces of one length, as "G1 ×2, G2" (CP932), for the window's hint.
std::string MarksOfLength(const std::vector<optimiser::PieceMark>& marks, int32_t length);

}  // namespace zarvel::job
