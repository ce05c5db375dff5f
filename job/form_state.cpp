#include "job/form_state.h"

#include <algorithm>

#include "base/format.h"
#include "base/numbers.h"
#include "job/comma_text.h"

namespace zarvel::job {
namespace {

std::string Line(const std::string& name, const std::string& value) {
  return name + " = " + value;
}
std::string Line(const std::string& name, int value) {
  return text::Format("%s = %d", name.c_str(), value);
}

void SaveControl(std::vector<std::string>& lines, SavedControl& c) {
  const std::string name = c.Name();
  switch (c.Kind()) {
    case SavedKind::kEdit:
    case SavedKind::kStaticText:
      lines.push_back(Line(name, c.Text()));
      break;
    case SavedKind::kComboBox:
    case SavedKind::kRadioGroup:
      lines.push_back(Line(name, c.ItemIndex()));
      break;
    case SavedKind::kRadioButton:
      // The buttons inside a radio group have no name and write nothing.
      if (!text::TrimBlanks(name).empty()) lines.push_back(Line(name, c.Checked() ? 1 : 0));
      break;
    case SavedKind::kCheckBox:
    case SavedKind::kSpeedButton:
      lines.push_back(Line(name, c.Checked() ? 1 : 0));
      break;
    case SavedKind::kListBox: {
      const std::vector<std::string> items = c.Items();
      lines.push_back(Line(name, static_cast<int>(items.size())));
      lines.insert(lines.end(), items.begin(), items.end());
      break;
    }
    case SavedKind::kStringGrid: {
      optimiser::Grid* grid = c.Cells();
      if (grid == nullptr) break;
      lines.push_back(Line(name, grid->RowCount()));
      for (int r = 0; r < grid->RowCount(); ++r) {
        std::vector<std::string> cells;
        for (int col = 0; col < grid->ColCount(); ++col) cells.push_back(grid->Cell(col, r));
        lines.push_back(JoinCommaText(cells));
      }
      break;
    }
    case SavedKind::kOther:
      break;
  }
}

std::string SavedName(const SavedControl& c) {
  return c.Kind() == SavedKind::kOther ? std::string() : c.Name();
}

}  // namespace

void SaveFormState(std::vector<std::string>& lines, const std::string& form,
                   const std::vector<SavedControl*>& controls) {
  lines.push_back("[" + form + "]");
  for (SavedControl* c : controls) SaveControl(lines, *c);
}

bool LoadFormState(const std::vector<std::string>& lines, const std::string& form,
                   const std::vector<SavedControl*>& controls) {
  const std::string header = "[" + form + "]";
  const auto it = std::find(lines.begin(), lines.end(), header);
  if (it == lines.end()) return false;
  std::size_t i = static_cast<std::size_t>(it - lines.begin()) + 1;
  std::size_t end = i;
  while (end < lines.size() && (lines[end].empty() || lines[end][0] != '[')) ++end;

  std::vector<std::string> names;
  for (const SavedControl* c : controls) names.push_back(SavedName(*c));

  while (i < end) {
    const std::string& line = lines[i++];
    const std::size_t eq = line.find('=');
    const std::string key = line.substr(0, eq == std::string::npos ? 1 : eq + 2);
    for (std::size_t k = 0; k < controls.size(); ++k) {
      if (names[k].empty() || names[k] + " = " != key) continue;
      SavedControl& c = *controls[k];
      const std::string value = line.substr(std::min(key.size(), line.size()), kMaxValueLength);
      switch (c.Kind()) {
        case SavedKind::kEdit:
        case SavedKind::kStaticText:
          c.SetText(value);
          break;
        case SavedKind::kComboBox:
          c.SetItemIndex(text::AtoI(value));
          break;
        case SavedKind::kRadioGroup:
          c.SetItemIndex(std::clamp(text::AtoI(value), -1, c.ItemCount() - 1));
          break;
        case SavedKind::kRadioButton:
        case SavedKind::kCheckBox:
        case SavedKind::kSpeedButton:
          c.SetChecked(text::AtoI(value) != 0);
          break;
        case SavedKind::kListBox: {
          // A count beyond the lines that follow reads the lines there are.
          const std::size_t n = std::min<std::size_t>(std::max(text::AtoI(value), 0), end - i);
          c.SetItems(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(i),
                                              lines.begin() + static_cast<std::ptrdiff_t>(i + n)));
          i += n;
          break;
        }
        case SavedKind::kStringGrid: {
          const std::size_t n = std::min<std::size_t>(std::max(text::AtoI(value), 0), end - i);
          c.SetRowCount(static_cast<int>(n));
          optimiser::Grid* grid = c.Cells();
          for (std::size_t r = 0; r < n; ++r) {
            const std::vector<std::string> values = SplitCommaText(lines[i + r]);
            if (grid == nullptr) continue;
            const int row = static_cast<int>(r);
            for (int col = 0; col < grid->ColCount(); ++col) {
              const auto v = static_cast<std::size_t>(col);
              grid->SetCell(col, row,
                            v < values.size() ? (values[v].empty() ? " " : values[v]) : "");
            }
          }
          i += n;
          break;
        }
        case SavedKind::kOther:
          break;
      }
    }
  }
  return true;
}

}  // namespace zarvel::job
