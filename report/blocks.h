// Template text blocks: lines with a five-character prefix (advance and condition letters)
// printed down the page through the report line renderer.
#pragma once

#include <string>
#include <vector>

namespace zarvel::report {

// Prints the block starting below y; table_mode 1 with row_count rows repeats the "&│" row
// template. Returns y after the last line.
double ExecPrintBlock(double y, const std::vector<std::string>& lines, int table_mode,
                      int row_count);

// Condition letters: the flag of (letter & 31). ClearTemplateFlag(0) clears all of them.
void SetTemplateFlag(char letter);
void ClearTemplateFlag(char letter);
bool TemplateFlag(char letter);

}  // namespace zarvel::report
