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

}  // namespace zarvel::yard
