// Report lines: notes dropped, heading and list numbers filled in, box-drawing tables ruled.
#pragma once

#include <string>

namespace zarvel::text {

void ResetHeadingNumbers();
// Draws one report line anchored at (x, y).
void PutReportLine(double x, double y, const std::string& line);
// Draws the rules of one line of a box-drawing table and blanks the characters it replaced.
void DrawTableRules(double x, double y, std::string& line);

}  // namespace zarvel::text
