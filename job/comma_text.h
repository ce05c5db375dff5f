// One grid row per line as comma text: cells joined by commas, quoted where needed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarvel::job {

// Joins cells; a cell holding a blank, a control character, a double quote or a comma is
// quoted (inner quotes doubled). A row of exactly one empty cell is written as "".
std::string JoinCommaText(const std::vector<std::string>& cells);

// Splits a line into values. An empty value comes back as an empty string (the grid stores it as
// a single blank); a comma at the very end adds a final empty value.
std::vector<std::string> SplitCommaText(std::string_view line);

}  // namespace zarvel::job
