// "zarvel5 sections [QUERY] [--json]": the standard sections matching a query, best first.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "catalog/sections.h"

namespace zarvel::cli {

std::string SectionsText(const std::vector<const catalog::Section*>& sections);  // UTF-8
std::string SectionsJson(const std::vector<const catalog::Section*>& sections);  // UTF-8

// Exit 0 with matches, 1 when none match, 2 for a usage error.
int RunSectionsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zarvel::cli
