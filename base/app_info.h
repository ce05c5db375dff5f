// The program's fixed texts: its name, its change history and what is derived from it.
#pragma once

#include <string>

namespace zarvel::base {

// "棒材Zarvel５" in CP932.
const std::string& ApplicationTitle();

// The release notes shown by the change-history window (CP932, lines separated by LF). Its
// second line starts with the release date, the first "20" of the text.
const std::string& ChangeHistoryText();

// The 20 characters of a change-history text from its first "20", blanks trimmed.
std::string VersionFromHistory(const std::string& history);

// VersionFromHistory(ChangeHistoryText()): "2025.04.01".
const std::string& VersionText();

// Title + " (" + version + "版) ", with the trailing blank: the window caption and the first
// line of every job file.
const std::string& WindowCaption();

}  // namespace zarvel::base
