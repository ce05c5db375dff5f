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
class EditNumberView final : public text::Control {
 public:
  explicit EditNumberView(const EditControl& edit) : edit_(edit) {}
  text::ControlKind Kind() const override { return text::ControlKind::kEdit; }
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
  optimiser::Grid* Cells() override { return &grid_; }
  void SetRowCount(int rows) override { grid_.Resize(grid_.ColCount(), rows); }
  int Capacity() const override { return capacity_; }
  optimiser::MemoryGrid& Grid() { return grid_; }

 private:
  std::string name_;
  optimiser::MemoryGrid grid_;
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

void SetUpGridFrame(optimiser::Grid& grid, int rows, const std::function<void(int)>& set_rows) {
  set_rows(rows);
  const std::string& heading = text::Lit("長さ. 本数");
  for (int c = 1; c < grid.ColCount(); ++c) grid.SetCell(c, 0, heading);
  for (int r = 1; r < grid.RowCount(); ++r) grid.SetCell(0, r, text::Format("%d", r));
}

struct JobForm::Controls {
  EditControl kname{"edKname", text::Lit("<工事名>")};
  EditControl bname{"edBname", text::Lit("<部材名>")};
  EditControl wunit{"edWunit", "   74.12"};
  EditControl yy{"edYY", "18"};
  EditControl mm{"edMM", "10"};
  EditControl dd{"edDD", "12"};
  GridControl grid1{"Grid1", kStockGridCols, kStockGridRows};
  GridControl grid2{"Grid2", kCutGridCols, kCutGridRows};
  EditControl yoyu{"edYoyu", " 20"};
  EditControl siro{"edSiro", "  3"};
  std::unique_ptr<RadioGroupControl> precision;
  EditControl lsaki{"edLsaki", "  5000"};
  std::unique_ptr<CheckBoxControl> vertical;
  CheckBoxControl table_a{"CbMeisaiA", false, nullptr};
  CheckBoxControl table_b{"CbMeisaiB", false, nullptr};
  CheckBoxControl table_c{"CbMeisaiC", false, nullptr};
  // Number views of the fields, in JobField order.
  std::vector<EditNumberView> views;
};

JobForm::JobForm(optimiser::OptimiserRecords& records)
    : c_(std::make_unique<Controls>()), records_(records) {
  c_->precision = std::make_unique<RadioGroupControl>("RgTryCount", 4, 1, [this] {
    if (on_precision_change) on_precision_change();
  });
  c_->vertical = std::make_unique<CheckBoxControl>("CkVlist", true, [this] { RelayoutGrids(); });
  for (const EditControl* e : {&c_->yy, &c_->mm, &c_->dd, &c_->kname, &c_->bname, &c_->wunit,
                               &c_->yoyu, &c_->siro, &c_->lsaki})
    c_->views.emplace_back(*e);
  GridFrameSetup();
}

JobForm::~JobForm() = default;

std::vector<SavedControl*> JobForm::PersistentControls() {
  return {&c_->kname,
          &c_->bname,
          &c_->wunit,
          &c_->yy,
          &c_->mm,
          &c_->dd,
          &c_->grid1,
          &c_->grid2,
          &c_->yoyu,
          &c_->siro,
          c_->precision.get(),
          &c_->lsaki,
          c_->vertical.get(),
          &c_->table_a,
          &c_->table_b,
          &c_->table_c};
}

void JobForm::GridFrameSetup() {
  for (const auto& [control, rows] :
       {std::pair{&c_->grid1, kStockGridRows}, std::pair{&c_->grid2, kCutGridRows}}) {
    GridControl* grid = control;
    SetUpGridFrame(grid->Grid(), rows, [grid](int n) { grid->SetRowCount(n); });
  }
}

void JobForm::RelayoutGrids() {
  optimiser::RelayoutGrids(records_, *this);
}

std::string JobForm::Caption() const {
  return text::WindowCaption();
}

const text::Control& JobForm::Field(optimiser::JobField field) const {
  return c_->views[static_cast<std::size_t>(field)];
}

optimiser::Grid& JobForm::StockGrid() {
  return c_->grid1.Grid();
}
optimiser::Grid& JobForm::CutGrid() {
  return c_->grid2.Grid();
}
int JobForm::PrecisionItem() const {
  return c_->precision->ItemIndex();
}
bool JobForm::VerticalOrder() const {
  return c_->vertical->Checked();
}
bool JobForm::TableA() const {
  return c_->table_a.Checked();
}
bool JobForm::TableB() const {
  return c_->table_b.Checked();
}
bool JobForm::TableC() const {
  return c_->table_c.Checked();
}
void JobForm::SetPrecisionItem(int item) {
  c_->precision->SetItemIndex(item);
}

void JobForm::SetFieldText(optimiser::JobField field, const std::string& text) {
  EditControl* fields[] = {&c_->yy,    &c_->mm,   &c_->dd,   &c_->kname, &c_->bname,
                           &c_->wunit, &c_->yoyu, &c_->siro, &c_->lsaki};
  fields[static_cast<int>(field)]->SetText(text);
}

SavedControl* JobForm::Find(const std::string& name) {
  for (SavedControl* c : PersistentControls())
    if (c->Name() == name) return c;
  return nullptr;
}

}  // namespace zarvel::job
