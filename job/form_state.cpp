#include "job/form_state.h"

#include <algorithm>

#include "base/format.h"
#include "base/lines.h"
#include "base/numbers.h"
#include "job/comma_text.h"

namespace zarvel::job {
namespace {

// A value as one line of the file: a line break inside would end it early.
std::string OneLine(std::string value) {
  std::replace(value.begin(), value.end(), '\r', ' ');
  std::replace(value.begin(), value.end(), '\n', ' ');
  return value;
}

std::string Line(const std::string& name, const std::string& value) {
  return name + " = " + OneLine(value);
}
std::string Line(const std::string& name, int value) {
  return base::Format("%s = %d", name.c_str(), value);
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
      if (!base::TrimBlanks(name).empty()) lines.push_back(Line(name, c.Checked() ? 1 : 0));
      break;
    case SavedKind::kCheckBox:
    case SavedKind::kSpeedButton:
      lines.push_back(Line(name, c.Checked() ? 1 : 0));
      break;
    case SavedKind::kListBox: {
      const std::vector<std::string> items = c.Items();
      lines.push_back(Line(name, static_cast<int>(items.size())));
      for (const std::string& item : items) lines.push_back(OneLine(item));
      break;
    }
    case SavedKind::kStringGrid: {
      run::Grid* grid = c.Cells();
      if (grid == nullptr) break;
      lines.push_back(Line(name, grid->RowCount()));
      for (int r = 0; r < grid->RowCount(); ++r) {
        std::vector<std::string> cells;
        for (int col = 0; col < grid->ColCount(); ++col)
          cells.push_back(OneLine(grid->Cell(col, r)));
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

namespace {

// Lines of a list, one after another.
class ListLines {
 public:
  explicit ListLines(const std::vector<std::string>& lines) : lines_(lines) {}
  bool Next(std::string_view& line) {
    if (at_ >= lines_.size()) return false;
    line = lines_[at_++];
    return true;
  }

 private:
  const std::vector<std::string>& lines_;
  std::size_t at_ = 0;
};

// Lines of a text as they are read (CR LF, LF or CR), each cut at the longest line taken:
// nothing is stored per line, so a file of millions of empty lines costs nothing.
class TextLines {
 public:
  explicit TextLines(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) {
    const std::size_t n = text_.size();
    if (at_ >= n) return false;
    std::size_t end = at_;
    while (end < n && text_[end] != '\r' && text_[end] != '\n') ++end;
    line = text_.substr(at_, std::min(end - at_, base::kMaxLineLength));
    if (end < n && text_[end] == '\r' && end + 1 < n && text_[end + 1] == '\n') ++end;
    at_ = end + 1;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

bool StartsSection(std::string_view line) {
  return !line.empty() && line[0] == '[';
}

template <typename Lines>
bool LoadSection(Lines lines, const std::string& form, const std::vector<SavedControl*>& controls,
                 SectionLoad* report) {
  if (report != nullptr) {
    report->named.assign(controls.size(), false);
    report->cut_short.assign(controls.size(), false);
  }
  const std::string header = "[" + form + "]";
  std::string_view line;
  bool found = false;
  while (!found && lines.Next(line)) found = line == header;
  if (!found) return false;
  // The section runs up to the next line that starts another; counted first, so that a count
  // in the file can be held to the lines there are.
  std::size_t left = 0;
  for (Lines ahead = lines; ahead.Next(line) && !StartsSection(line);) ++left;

  std::vector<std::string> names;
  for (const SavedControl* c : controls) names.push_back(SavedName(*c));
  auto next = [&](std::string_view& l) {
    if (left == 0) return false;
    --left;
    return lines.Next(l);
  };

  while (next(line)) {
    const std::size_t eq = line.find('=');
    const std::string_view key = line.substr(0, eq == std::string_view::npos ? 1 : eq + 2);
    for (std::size_t k = 0; k < controls.size(); ++k) {
      if (names[k].empty() || key.size() != names[k].size() + 3 ||
          key.compare(0, names[k].size(), names[k]) != 0 || key.substr(names[k].size()) != " = ")
        continue;
      SavedControl& c = *controls[k];
      if (report != nullptr) report->named[k] = true;
      const std::string value(line.substr(std::min(key.size(), line.size()), kMaxValueLength));
      switch (c.Kind()) {
        case SavedKind::kEdit:
        case SavedKind::kStaticText:
          c.SetText(value);
          break;
        case SavedKind::kComboBox:
          c.SetItemIndex(base::AtoI(value));
          break;
        case SavedKind::kRadioGroup:
          c.SetItemIndex(std::clamp(base::AtoI(value), -1, c.ItemCount() - 1));
          break;
        case SavedKind::kRadioButton:
        case SavedKind::kCheckBox:
        case SavedKind::kSpeedButton:
          c.SetChecked(base::AtoI(value) != 0);
          break;
        case SavedKind::kListBox:
        case SavedKind::kStringGrid: {
          // A count beyond the lines that follow reads the lines there are (and says the list
          // was cut short); beyond what the control holds, the rest of its lines are skipped.
          const std::size_t declared = static_cast<std::size_t>(std::max(base::AtoI(value), 0));
          const std::size_t kept = std::min<std::size_t>(declared, std::max(c.Capacity(), 0));
          std::size_t read = 0;
          if (c.Kind() == SavedKind::kListBox) {
            std::vector<std::string> items;
            for (; read < kept && next(line); ++read) items.emplace_back(line);
            c.SetItems(items);
          } else {
            c.SetRowCount(static_cast<int>(kept));
            run::Grid* grid = c.Cells();
            for (; read < kept && next(line); ++read) {
              if (grid == nullptr) continue;
              const std::vector<std::string> values = SplitCommaText(line);
              const int row = static_cast<int>(read);
              for (int col = 0; col < grid->ColCount(); ++col) {
                const auto v = static_cast<std::size_t>(col);
                grid->SetCell(col, row,
                              v < values.size() ? (values[v].empty() ? " " : values[v]) : "");
              }
            }
          }
          bool whole = read == kept;
          // Rows the file did not reach hold nothing of the job before.
          if (!whole && c.Kind() == SavedKind::kStringGrid) c.SetRowCount(static_cast<int>(read));
          for (std::size_t r = kept; whole && r < declared; ++r) whole = next(line);
          if (!whole && report != nullptr) report->cut_short[k] = true;
          break;
        }
        case SavedKind::kOther:
          break;
      }
    }
  }
  return true;
}

}  // namespace

bool LoadFormState(const std::vector<std::string>& lines, const std::string& form,
                   const std::vector<SavedControl*>& controls) {
  return LoadSection(ListLines(lines), form, controls, nullptr);
}

bool LoadFormStateText(std::string_view content, const std::string& form,
                       const std::vector<SavedControl*>& controls, SectionLoad* found) {
  return LoadSection(TextLines(content), form, controls, found);
}

}  // namespace zarvel::job
