#include "job/job_form.h"

#include "base/app_info.h"
#include "base/cp932.h"
#include "base/format.h"
#include "run/grid_reader.h"

namespace zarvel::job {
namespace {

class EditControl final : public SavedControl {
 public:
  EditControl(std::string name, std::string text)
      : name_(std::move(name)), text_(std::move(text)) {}
  std::string Name() const override { return name_; }
  SavedKind Kind() const override { return SavedKind::kEdit; }
  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override { text_ = text; }

 private:
  std::string name_;
  std::string text_;
};

// The edit field as the number reader sees it.
class EditNumberView final : public base::Control {
 public:
  explicit EditNumberView(const EditControl& edit) : edit_(edit) {}
  base::ControlKind Kind() const override { return base::ControlKind::kEdit; }
  std::string Text() const override { return edit_.Text(); }

 private:
  const EditControl& edit_;
};

class GridControl final : public SavedControl {
 public:
  GridControl(std::string name, int cols, int rows)
      : name_(std::move(name)), grid_(cols, rows), capacity_(rows) {}
  std::string Name() const override { return name_; }
  SavedKind Kind() const override { return SavedKind::kStringGrid; }
  run::Grid* Cells() override { return &grid_; }
  void SetRowCount(int rows) override { grid_.Resize(grid_.ColCount(), rows); }
  int Capacity() const override { return capacity_; }
  run::MemoryGrid& Grid() { return grid_; }

 private:
  std::string name_;
  run::MemoryGrid grid_;
  int capacity_;  // the frame's row count: more never survives a load
};

class RadioGroupControl final : public SavedControl {
 public:
  RadioGroupControl(std::string name, int items, int index, std::function<void()> on_change)
      : name_(std::move(name)), items_(items), index_(index), on_change_(std::move(on_change)) {}
  std::string Name() const override { return name_; }
  SavedKind Kind() const override { return SavedKind::kRadioGroup; }
  int ItemIndex() const override { return index_; }
  int ItemCount() const override { return items_; }
  void SetItemIndex(int index) override {
    if (index < -1 || index >= items_ || index == index_) return;
    index_ = index;
    if (on_change_) on_change_();
  }

 private:
  std::string name_;
  int items_;
  int index_;
  std::function<void()> on_change_;
};

class CheckBoxControl final : public SavedControl {
 public:
  CheckBoxControl(std::string name, bool checked, std::function<void()> on_change)
      : name_(std::move(name)), checked_(checked), on_change_(std::move(on_change)) {}
  std::string Name() const override { return name_; }
  SavedKind Kind() const override { return SavedKind::kCheckBox; }
  bool Checked() const override { return checked_; }
  void SetChecked(bool checked) override {
    if (checked == checked_) return;
    checked_ = checked;
    if (on_change_) on_change_();
  }

 private:
  std::string name_;
  bool checked_;
  std::function<void()> on_change_;
};

}  // namespace

void SetUpGridFrame(run::Grid& grid, int rows, const std::function<void(int)>& set_rows) {
  set_rows(rows);
  const std::string& heading = base::Lit("長さ. 本数");
  for (int c = 1; c < grid.ColCount(); ++c) grid.SetCell(c, 0, heading);
  for (int r = 1; r < grid.RowCount(); ++r) grid.SetCell(0, r, base::Format("%d", r));
}

struct JobForm::Controls {
  std::vector<std::unique_ptr<SavedControl>> saved;  // in table order
  // Number views of the fields, in JobField order.
  std::vector<EditNumberView> views;

  SavedControl& At(JobControl control) { return *saved[static_cast<std::size_t>(control)]; }
  GridControl& Grid(JobControl control) { return static_cast<GridControl&>(At(control)); }
};

namespace {

std::unique_ptr<SavedControl> MakeControl(const ControlEntry& entry,
                                          std::function<void()> on_change) {
  switch (entry.kind) {
    case SavedKind::kEdit:
      return std::make_unique<EditControl>(entry.key, StartText(entry));
    case SavedKind::kStringGrid:
      return std::make_unique<GridControl>(entry.key, entry.cols, entry.rows);
    case SavedKind::kRadioGroup:
      return std::make_unique<RadioGroupControl>(entry.key, entry.items, entry.value,
                                                 std::move(on_change));
    default:
      return std::make_unique<CheckBoxControl>(entry.key, entry.value != 0, std::move(on_change));
  }
}

}  // namespace

JobForm::JobForm(optimiser::OptimiserRecords& records)
    : c_(std::make_unique<Controls>()), records_(records) {
  for (const ControlEntry& entry : kJobControls) {
    std::function<void()> on_change;
    if (entry.control == JobControl::kPrecision) {
      on_change = [this] {
        if (on_precision_change) on_precision_change();
      };
    } else if (entry.control == JobControl::kVerticalOrder) {
      on_change = [this] { RelayoutGrids(); };
    }
    c_->saved.push_back(MakeControl(entry, std::move(on_change)));
  }
  c_->views.reserve(kJobFieldCount);
  for (std::size_t f = 0; f < kJobFieldCount; ++f)
    c_->views.emplace_back(
        static_cast<const EditControl&>(c_->At(ControlOf(static_cast<run::JobField>(f)))));
  GridFrameSetup();
}

JobForm::~JobForm() = default;

std::vector<SavedControl*> JobForm::PersistentControls() {
  std::vector<SavedControl*> controls;
  for (const auto& c : c_->saved) controls.push_back(c.get());
  return controls;
}

void JobForm::GridFrameSetup() {
  for (JobControl control : {JobControl::kStockGrid, JobControl::kCutGrid}) {
    GridControl* grid = &c_->Grid(control);
    SetUpGridFrame(grid->Grid(), Entry(control).rows, [grid](int n) { grid->SetRowCount(n); });
  }
}

void JobForm::RelayoutGrids() {
  run::RelayoutGrids(records_, *this);
}

std::string JobForm::Caption() const {
  return base::WindowCaption();
}

const base::Control& JobForm::Field(run::JobField field) const {
  return c_->views[static_cast<std::size_t>(field)];
}

run::Grid& JobForm::StockGrid() {
  return c_->Grid(JobControl::kStockGrid).Grid();
}
run::Grid& JobForm::CutGrid() {
  return c_->Grid(JobControl::kCutGrid).Grid();
}
int JobForm::PrecisionItem() const {
  return c_->At(JobControl::kPrecision).ItemIndex();
}
bool JobForm::VerticalOrder() const {
  return c_->At(JobControl::kVerticalOrder).Checked();
}
bool JobForm::TableA() const {
  return c_->At(JobControl::kTableA).Checked();
}
bool JobForm::TableB() const {
  return c_->At(JobControl::kTableB).Checked();
}
bool JobForm::TableC() const {
  return c_->At(JobControl::kTableC).Checked();
}
bool JobForm::Labels() const {
  return c_->At(JobControl::kLabels).Checked();
}
bool JobForm::SawList() const {
  return c_->At(JobControl::kSawList).Checked();
}
int JobForm::LabelSheetItem() const {
  return c_->At(JobControl::kLabelSheet).ItemIndex();
}
void JobForm::SetPrecisionItem(int item) {
  c_->At(JobControl::kPrecision).SetItemIndex(item);
}

void JobForm::SetFieldText(run::JobField field, const std::string& text) {
  c_->At(ControlOf(field)).SetText(text);
}

SavedControl& JobForm::Control(JobControl control) {
  return c_->At(control);
}

SavedControl* JobForm::Find(const std::string& name) {
  for (SavedControl* c : PersistentControls())
    if (c->Name() == name) return c;
  return nullptr;
}

}  // namespace zarvel::job
