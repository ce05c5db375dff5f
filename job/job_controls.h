// The job's controls, declared once: the headless form, the main window and the tests' stand-in
// are all built from this table. Its order is the order of the lines in a job file.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "base/cp932.h"
#include "job/form_state.h"
#include "run/run_command.h"

namespace zarvel::job {

// Every saved control, named by what it holds, in file order.
enum class JobControl {
  kProjectName,
  kMemberName,
  kUnitWeight,
  kYear,
  kMonth,
  kDay,
  kStockGrid,
  kCutGrid,
  kMargin,
  kKerf,
  kPrecision,
  kPriorityLength,
  kVerticalOrder,
  kTableA,      // the preview's ［長さ×本数］ table
  kTableB,      // the preview's ［１本毎］ table
  kTableC,      // the preview's cutting diagrams: written after the 54 lines of older files
  kLabels,      // the preview's labels (ラベル)
  kLabelSheet,  // the label sheet: 12, 24 or 44 labels
  kSawList,     // the preview's saw list (切断指示書)
};

inline constexpr std::size_t kJobControlCount = static_cast<std::size_t>(JobControl::kSawList) + 1;
inline constexpr std::size_t kJobFieldCount =
    static_cast<std::size_t>(run::JobField::kPriorityLength) + 1;

inline constexpr int kStockGridCols = 3;
inline constexpr int kStockGridRows = 19;
inline constexpr int kCutGridCols = 7;
inline constexpr int kCutGridRows = 18;

struct ControlEntry {
  JobControl control;
  const char* key;  // the file key, also the widget's object name
  SavedKind kind;
  // Edit field: 0 free text, otherwise the number's width and decimals (see the odometer entry).
  int tag = 0;
  const char* text = "";  // edit field: start-up text (UTF-8)
  // Radio group: the item chosen at start-up; check box: 1 when ticked.
  int value = 0;
  int items = 0;  // radio group: how many items
  int cols = 0;   // grid: columns with the row-number column
  int rows = 0;   // grid: rows with the heading row; a file never makes it hold more
  int tab = -1;   // place in the window's tab chain; -1 not in it
  std::optional<run::JobField> field = std::nullopt;  // the run's name for an edit field
  const char* label = "";                             // what the user calls it (UTF-8)
  bool added_later = false;  // not among the lines of the first job files: a file may lack it
};

using run::JobField;

// clang-format off
inline constexpr std::array<ControlEntry, kJobControlCount> kJobControls = {{
    {.control = JobControl::kProjectName, .key = "edKname", .kind = SavedKind::kEdit,
     .text = "<工事名>", .tab = 0, .field = JobField::kProjectName, .label = "工事名"},
    {.control = JobControl::kMemberName, .key = "edBname", .kind = SavedKind::kEdit,
     .text = "<部材名>", .tab = 1, .field = JobField::kMemberName, .label = "部材名"},
    {.control = JobControl::kUnitWeight, .key = "edWunit", .kind = SavedKind::kEdit,
     .tag = 82, .text = "   74.12", .tab = 2, .field = JobField::kUnitWeight, .label = "単位重量"},
    {.control = JobControl::kYear, .key = "edYY", .kind = SavedKind::kEdit,
     .tag = 20, .text = "18", .tab = 3, .field = JobField::kYear, .label = "年"},
    {.control = JobControl::kMonth, .key = "edMM", .kind = SavedKind::kEdit,
     .tag = 20, .text = "10", .tab = 4, .field = JobField::kMonth, .label = "月"},
    {.control = JobControl::kDay, .key = "edDD", .kind = SavedKind::kEdit,
     .tag = 20, .text = "12", .tab = 5, .field = JobField::kDay, .label = "日"},
    {.control = JobControl::kStockGrid, .key = "Grid1", .kind = SavedKind::kStringGrid,
     .cols = kStockGridCols, .rows = kStockGridRows, .tab = 6, .label = "素材リスト"},
    {.control = JobControl::kCutGrid, .key = "Grid2", .kind = SavedKind::kStringGrid,
     .cols = kCutGridCols, .rows = kCutGridRows, .tab = 7, .label = "切断リスト"},
    {.control = JobControl::kMargin, .key = "edYoyu", .kind = SavedKind::kEdit,
     .tag = 30, .text = " 20", .tab = 8, .field = JobField::kMargin, .label = "素材の余裕"},
    {.control = JobControl::kKerf, .key = "edSiro", .kind = SavedKind::kEdit,
     .tag = 30, .text = "  3", .tab = 9, .field = JobField::kKerf, .label = "切り代"},
    {.control = JobControl::kPrecision, .key = "RgTryCount", .kind = SavedKind::kRadioGroup,
     .value = 1, .items = 4, .tab = 10, .label = "精度"},
    {.control = JobControl::kPriorityLength, .key = "edLsaki", .kind = SavedKind::kEdit,
     .tag = 60, .text = "  5000", .tab = 11, .field = JobField::kPriorityLength,
     .label = "優先素材の長さ"},
    {.control = JobControl::kVerticalOrder, .key = "CkVlist", .kind = SavedKind::kCheckBox,
     .value = 1, .tab = 12, .label = "縦順表示"},
    {.control = JobControl::kTableA, .key = "CbMeisaiA", .kind = SavedKind::kCheckBox,
     .label = "［長さ×本数］"},
    {.control = JobControl::kTableB, .key = "CbMeisaiB", .kind = SavedKind::kCheckBox,
     .label = "［１本毎］"},
    {.control = JobControl::kTableC, .key = "CbMeisaiC", .kind = SavedKind::kCheckBox,
     .label = "切断図", .added_later = true},
    {.control = JobControl::kLabels, .key = "CbMeisaiL", .kind = SavedKind::kCheckBox,
     .label = "ラベル", .added_later = true},
    {.control = JobControl::kLabelSheet, .key = "RgLabelSheet", .kind = SavedKind::kRadioGroup,
     .value = 0, .items = 3, .label = "ラベル用紙", .added_later = true},
    {.control = JobControl::kSawList, .key = "CbMeisaiS", .kind = SavedKind::kCheckBox,
     .label = "切断指示書", .added_later = true},
}};
// clang-format on

constexpr const ControlEntry& Entry(JobControl control) {
  return kJobControls[static_cast<std::size_t>(control)];
}

// The control that holds a field of the run.
constexpr JobControl ControlOf(JobField field) {
  for (const ControlEntry& entry : kJobControls)
    if (entry.field == field) return entry.control;
  return JobControl::kProjectName;  // unreachable: every field has its control
}

// An edit field's start-up text in CP932.
inline const std::string& StartText(const ControlEntry& entry) {
  return base::Lit(entry.text);
}

namespace detail {
constexpr bool TableIsConsistent() {
  int tabs = 0;
  for (std::size_t i = 0; i < kJobControls.size(); ++i) {
    const ControlEntry& s = kJobControls[i];
    if (static_cast<std::size_t>(s.control) != i) return false;  // indexed by JobControl
    if (s.field.has_value() != (s.kind == SavedKind::kEdit)) return false;
    if (s.tab >= 0) ++tabs;
  }
  // The tab places run 0, 1, 2 ... without gaps or repeats.
  for (int t = 0; t < tabs; ++t) {
    int found = 0;
    for (const ControlEntry& s : kJobControls) found += s.tab == t ? 1 : 0;
    if (found != 1) return false;
  }
  for (std::size_t f = 0; f < kJobFieldCount; ++f) {
    int found = 0;
    for (const ControlEntry& s : kJobControls) found += s.field == static_cast<JobField>(f) ? 1 : 0;
    if (found != 1) return false;
  }
  return true;
}
}  // namespace detail
static_assert(detail::TableIsConsistent());

}  // namespace zarvel::job
