// The ledger as a shop reads it: each move named by what moved (section, length, standard or
// offcut, place and lot), and an undo by what it undoes. Times are shown in local time.
#pragma once

#include <string>
#include <vector>

#include "yard/yard.h"

namespace zarvel::yard {

// "H-200×100×5.5×8 6000 mm 定尺 置場 A-1 ロット L7 +5 本" (UTF-8); an item the yard no longer
// knows by its id.
std::string MoveText(Yard& yard, const Move& move);

// "（記録 12 2026-12-08 09:15 計画の確定 の取り消し）" for an undo, else empty.
std::string UndoesText(const std::vector<Entry>& entries, const Entry& entry);

// What a repair of `mismatches` writes, one line an item, for the user to confirm (UTF-8).
std::string RepairText(Yard& yard, const std::vector<Mismatch>& mismatches);

}  // namespace zarvel::yard
