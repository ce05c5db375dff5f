// "zarvel5 import": parts from detailing software (DSTV part files, CSV parts lists) written as
// job files, one per section, with their piece marks.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zarvel::cli {

// Exit 0 when every file was read, 1 when some were refused (the rest is still imported), 2 for
// usage errors.
int RunImportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zarvel::cli
