// The report's fixed texts (UTF-8; Template() gives them as CP932 lines).
#pragma once

#include <string>
#include <vector>

namespace zarvel::report {

// Blocks for the template printer: a five-character prefix, then the text.
extern const std::vector<const char8_t*> kMemberLine;
extern const std::vector<const char8_t*> kProjectLine;
extern const std::vector<const char8_t*> kStockTitle;
extern const std::vector<const char8_t*> kStockGrid;
extern const std::vector<const char8_t*> kCutTitle;
extern const std::vector<const char8_t*> kCutGrid;
extern const std::vector<const char8_t*> kTotals;

// Rule and header lines of the two pattern tables (90 columns each).
extern const char8_t* const kTableATop;
extern const char8_t* const kTableAHead;
extern const char8_t* const kTableASep;
extern const char8_t* const kTableAEnd;
extern const char8_t* const kTableBTop;
extern const char8_t* const kTableBHead;
extern const char8_t* const kTableBSep;
extern const char8_t* const kTableBEnd;

// A text or a block in CP932 (converted once).
const std::string& Text(const char8_t* utf8);
std::vector<std::string> Template(const std::vector<const char8_t*>& block);

}  // namespace zarvel::report
