// The job's widgets: odometer edit fields, painted cell grids, the precision group and check
// boxes, each also a saved control of the job file.
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <string>

#include "base/control.h"
#include "job/form_state.h"
#include "job/grid_entry.h"
#include "run/grid.h"

namespace zarvel::app {

// Called when a character key (other than Enter) is typed into a field or grid.
using ModifiedHook = std::function<void()>;

class FreeTextValidator;

class NumEdit final : public QLineEdit, public job::SavedControl {
 public:
  // tag 0: free text (typed normally); otherwise width and decimals by the tag.
  NumEdit(const QString& name, int tag, const std::string& initial_cp932, QWidget* parent);

  // SavedControl
  std::string Name() const override { return name_; }
  job::SavedKind Kind() const override { return job::SavedKind::kEdit; }
  std::string Text() const override;
  void SetText(const std::string& cp932) override;

  int Tag() const { return tag_; }
  // The text set, then reformatted when the tag is a numeric one.
  void SetNumEditText(const std::string& cp932);
  // Reformats from the tag (what leaving the field does).
  void Reformat();
  const base::Control& AsNumber() const { return number_; }

  ModifiedHook on_modified;
  // Whether a numeric text may stand (a date field holds a possible date); null: any. A key
  // whose result may not stand starts the entry afresh with that key alone, and is dropped when
  // even that may not stand.
  std::function<bool(const std::string& cp932)> accepts;

  // Most bytes (CP932) the user can put into a free-text field.
  static constexpr std::size_t kFreeTextMaxBytes = 32;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class NumberView final : public base::Control {
   public:
    explicit NumberView(const NumEdit& e) : e_(e) {}
    base::ControlKind Kind() const override { return base::ControlKind::kEdit; }
    std::string Text() const override { return e_.Text(); }

   private:
    const NumEdit& e_;
  };
  friend class FreeTextValidator;
  void ApplyKey(int key);
  void MoveFocus(bool forward);
  void Modified() const {
    if (on_modified) on_modified();
  }

  std::string name_;
  int tag_;
  NumberView number_{*this};
  bool setting_ = false;  // the program sets the text: no limit applies
};

// A grid of text cells painted by the program itself: row 0 is the heading, column 0 the row
// numbers; keys go through the odometer entry, never an in-cell editor.
class CellGrid final : public QWidget, public run::Grid, public job::SavedControl {
 public:
  static constexpr int kDataColumnWidth = 108;
  static constexpr int kFixedColumnWidth = 36;
  static constexpr int kRowHeight = 25;
  static constexpr int kFontPixels = 16;

  CellGrid(const QString& name, int cols, int rows, QWidget* parent);

  // Grid
  int RowCount() const override { return rows_; }
  int ColCount() const override { return cols_; }
  std::string Cell(int col, int row) const override;
  void SetCell(int col, int row, const std::string& text) override;
  void Refresh() override;  // as when the grid loses the focus

  // SavedControl
  std::string Name() const override { return name_; }
  job::SavedKind Kind() const override { return job::SavedKind::kStringGrid; }
  run::Grid* Cells() override { return this; }
  void SetRowCount(int rows) override;

  int Capacity() const override { return capacity_; }

  job::CellPos Current() const { return current_; }
  // Selects a cell: the cell left is normalised, entry starts on the new one.
  void SelectCell(job::CellPos to);
  // Width to fit the columns: their sum, one pixel each, and two.
  int FittingWidth() const;
  int FittingHeight() const;

  std::function<bool()> vertical_order;  // entry order for Enter
  ModifiedHook on_modified;
  // The hint shown when the mouse rests on a cell (empty: none), such as a length's marks.
  std::function<QString(int col, int row)> cell_hint;
  // Cells drawn with a corner mark (none when empty), such as the stock's measured offcuts.
  std::function<bool(int col, int row)> cell_marked;
  std::function<void()> on_paste;            // Ctrl+V
  std::function<void()> on_paste_selection;  // the middle button: the X11 selection
  // Entry starts again from the first data cell (another job), without taking the keyboard.
  void Rewind();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool) override { return false; }
  bool event(QEvent* event) override;

 private:
  int ColumnX(int col) const;
  job::CellPos CellAt(QPoint p) const;  // {-1, -1} outside the data cells
  void NormaliseCurrent();
  void StartEntry();

  std::string name_;
  int cols_;
  int rows_;
  int capacity_;  // the rows it was made with: a file never makes it hold more
  std::vector<std::string> cells_;
  job::CellPos current_;
};

// The precision radio group: items 低, 中, 高.
class RadioGroup final : public QGroupBox, public job::SavedControl {
 public:
  RadioGroup(const QString& name, const QString& caption, const QStringList& items,
             QWidget* parent);
  std::string Name() const override { return name_; }
  job::SavedKind Kind() const override { return job::SavedKind::kRadioGroup; }
  int ItemIndex() const override;
  void SetItemIndex(int index) override;
  int ItemCount() const override { return static_cast<int>(group_->buttons().size()); }

  std::function<void()> on_change;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::string name_;
  QButtonGroup* group_;
};

class CheckBox final : public QCheckBox, public job::SavedControl {
 public:
  CheckBox(const QString& name, const QString& caption, bool checked, QWidget* parent);
  std::string Name() const override { return name_; }
  job::SavedKind Kind() const override { return job::SavedKind::kCheckBox; }
  bool Checked() const override { return isChecked(); }
  void SetChecked(bool checked) override { setChecked(checked); }

 private:
  std::string name_;
};

}  // namespace zarvel::app
