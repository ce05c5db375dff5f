// The report's fixed texts: the block templates and the table rule and header lines.
// Full-width blanks are part of the layout; keep every character as it stands.
#include "report/templates.h"

#include "base/cp932.h"

namespace zarvel::report {

const std::vector<const char8_t*> kMemberLine = {
    u8"LF2-|　　　部材名：##################################################### 単位重量 =####.##  "
    u8"(Kg/m) ",
};
const std::vector<const char8_t*> kProjectLine = {
    u8"4.8-|　　　工事名：##################################################    #### 年 ## 月 ## "
    u8"日 作成",
};
const std::vector<const char8_t*> kStockTitle = {
    u8"----|　　　 ≪必要素材リスト≫                      素材の余裕 =#### (mm)      切り代 =### "
    u8"(mm)",
};
const std::vector<const char8_t*> kStockGrid = {
    u8"LF3-|　　　┌──────┬──────┬──────┬──────┬──────┬──────┐",
    u8"----|　　 &│############│############│############│############│############│############│",
    u8"----|　　　├──────┼──────┼──────┼──────┼──────┼──────┤",
    u8"----|　　　└──────┴──────┴──────┴──────┴──────┴──────┘",
};
const std::vector<const char8_t*> kCutTitle = {
    u8"----|　　 　≪切 断 リ ス ト≫",
};
const std::vector<const char8_t*> kCutGrid = kStockGrid;  // the same grid
const std::vector<const char8_t*> kTotals = {
    u8"4.0-|　　─────────────────────────────────────────────",
    u8"3.2-|　　 素材延長=####.###  (m)  部材延長=####.###  (m)  残材長=###.###  (m)   "
    u8"残材率=##.###  (%)",
    u8"4.8-X　　 素材重量=####.###  (t)  部材重量=####.###  (t)                        "
    u8"ロス率=##.###  (%)",
    u8"3.2-|　　─────────────────────────────────────────────",
};

const char8_t* const kTableATop = u8"┌─────┬─────────────────────────────────┬───┐";
const char8_t* const kTableAHead =
    u8"│素材×本数│　切断パターン　　　切断長×本数　　　　　　　残材率=A#.###  (%)　│残材長│";
const char8_t* const kTableASep = u8"├─────┼─────────────────────────────────┼───┤";
const char8_t* const kTableAEnd = u8"└─────┴─────────────────────────────────┴───┘";
const char8_t* const kTableBTop = u8"┌───┬───────────────────────────────────┬───┐";
const char8_t* const kTableBHead =
    u8"│素材　│$ 　　　　　　　　　　切断パターン　　　　　　　　残材率=A#.###  (%)　│残材長│";
const char8_t* const kTableBSep = u8"├───┼───────────────────────────────────┼───┤";
const char8_t* const kTableBEnd = u8"└───┴───────────────────────────────────┴───┘";

}  // namespace zarvel::report

namespace zarvel::report {

const std::string& Text(const char8_t* utf8) {
  return base::Lit(reinterpret_cast<const char*>(utf8));
}

std::vector<std::string> Template(const std::vector<const char8_t*>& block) {
  std::vector<std::string> lines;
  for (const char8_t* line : block) lines.push_back(Text(line));
  return lines;
}

}  // namespace zarvel::report
