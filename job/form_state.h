// The generic form-state writer and reader: one "name = value" line per saved control, under
// a "[form]" section line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/grid.h"

namespace zarvel::job {

enum class SavedKind {
  kEdit,
  kStaticText,
  kComboBox,
  kRadioGroup,
  kRadioButton,
  kCheckBox,
  kSpeedButton,
  kListBox,
  kStringGrid,
  kOther,  // panels, group boxes: nothing saved
};

// A control whose state a job file stores. Each kind uses the accessors that fit it; setting a
// check box or radio group fires its change handler when the value changes.
class SavedControl {
 public:
  virtual ~SavedControl() = default;
  virtual std::string Name() const = 0;
  virtual SavedKind Kind() const = 0;

  // Edit field and static text (CP932).
  virtual std::string Text() const { return {}; }
  virtual void SetText(const std::string&) {}
  // Combo box and radio group.
  virtual int ItemIndex() const { return -1; }
  virtual void SetItemIndex(int) {}
  virtual int ItemCount() const { return 0; }
  // Radio button, check box, speed button.
  virtual bool Checked() const { return false; }
  virtual void SetChecked(bool) {}
  // List box.
  virtual std::vector<std::string> Items() const { return {}; }
  virtual void SetItems(const std::vector<std::string>&) {}
  // String grid: its cells, and its row count.
  virtual run::Grid* Cells() { return nullptr; }
  virtual void SetRowCount(int) {}
  // The most rows (grid) or items (list box) the control holds: a larger count in a file
  // reads only that many and skips the rest of its lines, so a file cannot size memory.
  virtual int Capacity() const { return kDefaultCapacity; }

  static constexpr int kDefaultCapacity = 1000;
};

// Longest value taken from a line.
inline constexpr std::size_t kMaxValueLength = 999;

// Appends "[form]" and the lines of every control, in list order. A value never carries a
// line break into the file: CR and LF inside it are written as blanks.
void SaveFormState(std::vector<std::string>& lines, const std::string& form,
                   const std::vector<SavedControl*>& controls);

// Applies the lines of the "[form]" section to the controls by name. Returns false when there
// is no such section (nothing is loaded).
bool LoadFormState(const std::vector<std::string>& lines, const std::string& form,
                   const std::vector<SavedControl*>& controls);
// What a load found beside the values, per control (in list order).
struct SectionLoad {
  std::vector<bool> named;  // a line of the section named it
  // A grid or list whose lines stopped before the count its line declared: the file or the
  // section ended first (a file cut short).
  std::vector<bool> cut_short;
};

// The same on a file's whole text, split into lines (CR LF, LF or CR) as it is read. `found`,
// when given, tells what was named and what was cut short.
bool LoadFormStateText(std::string_view content, const std::string& form,
                       const std::vector<SavedControl*>& controls, SectionLoad* found = nullptr);

}  // namespace zarvel::job
