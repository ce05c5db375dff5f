#include "yard/history.h"

#include <algorithm>

#include "base/format.h"

namespace zarvel::yard {

std::string MoveText(Yard& yard, const Move& m) {
  Item i;
  std::string t;
  if (yard.Get(m.item, i)) {
    t = i.section + (i.grade.empty() ? "" : " " + i.grade) +
        base::Format(" %d mm %s", i.length, i.offcut ? "端材" : "定尺");
    if (!i.location.empty()) t += " 置場 " + i.location;
    if (!i.lot.empty()) t += " ロット " + i.lot;
  } else {
    t = base::Format("在庫 ID %lld", static_cast<long long>(m.item));
  }
  return t + base::Format(" %+lld 本", static_cast<long long>(m.delta));
}

std::string UndoesText(const std::vector<Entry>& entries, const Entry& e) {
  if (e.undoes == 0) return {};
  std::string t = base::Format("（記録 %lld", static_cast<long long>(e.undoes));
  const auto undone = std::find_if(entries.begin(), entries.end(),
                                   [&](const Entry& x) { return x.id == e.undoes; });
  if (undone != entries.end())
    t += " " + LocalTimeText(undone->time) + " " + ReasonText(undone->reason);
  return t + " の取り消し）";
}

std::string RepairText(Yard& yard, const std::vector<Mismatch>& mismatches) {
  std::string t = "記録と合わない在庫:\n";
  for (const Mismatch& m : mismatches) {
    Item i;
    const std::string what =
        yard.Get(m.item, i)
            ? base::Format("%s %d mm %s", i.section.c_str(), i.length, i.offcut ? "端材" : "定尺")
            : std::string("-");
    const int64_t kept = std::max<int64_t>(m.count, 0);
    t += base::Format(
        "  在庫 ID %lld  %s  ファイルの本数 %lld、記録の本数 %lld → %lld 本とし、"
        "差 %+lld 本を記録します\n",
        static_cast<long long>(m.item), what.c_str(), static_cast<long long>(m.count),
        static_cast<long long>(m.ledger), static_cast<long long>(kept),
        static_cast<long long>(kept - m.ledger));
  }
  return t;
}

}  // namespace zarvel::yard
