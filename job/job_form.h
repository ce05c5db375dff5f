// The job without a window: the saved controls with their start-up values and both grids.
// The command line plans with it; tests load and save it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "job/form_state.h"
#include "job/job_controls.h"
#include "job/job_window.h"
#include "optimiser/records.h"
#include "run/run_command.h"

namespace zarvel::job {

// Writes the grid's frame: headings in row 0 of the data columns, the row count, row numbers.
void SetUpGridFrame(run::Grid& grid, int rows, const std::function<void(int)>& set_rows);

class JobForm final : public JobWindow, public run::RunForm {
 public:
  // `records` receives the lists whenever the grids are re-laid out.
  explicit JobForm(optimiser::OptimiserRecords& records);
  ~JobForm() override;
  JobForm(const JobForm&) = delete;
  JobForm& operator=(const JobForm&) = delete;

  // JobWindow
  std::vector<SavedControl*> PersistentControls() override;
  void GridFrameSetup() override;
  void RelayoutGrids() override;
  void SetDataModified(bool modified) override { data_modified_ = modified; }
  std::string Caption() const override;
  std::vector<optimiser::PieceMark>* MarkList() override { return &marks_; }

  // RunForm
  const base::Control& Field(run::JobField field) const override;
  run::Grid& StockGrid() override;
  run::Grid& CutGrid() override;
  int PrecisionItem() const override;
  bool VerticalOrder() const override;
  std::vector<optimiser::PieceMark> Marks() const override { return marks_; }
  std::vector<optimiser::MeasuredBars> MeasuredStock() const override {
    return yard_stock.measured;
  }
  std::string Grade() const override { return grade; }
  optimiser::RemnantPolicy Policy() const override { return policy; }

  bool DataModified() const { return data_modified_; }
  // The saved control of that name, or null.
  SavedControl* Find(const std::string& name);
  SavedControl& Control(JobControl control);
  void SetFieldText(run::JobField field, const std::string& text);
  void SetPrecisionItem(int item);
  bool TableA() const;
  bool TableB() const;
  bool TableC() const;
  bool Labels() const;
  bool SawList() const;
  int LabelSheetItem() const;  // 0, 1, 2: 12, 24, 44 labels a sheet

  // Called when the precision changes (the window re-runs when its preview is open).
  std::function<void()> on_precision_change;

 private:
  struct Controls;
  std::unique_ptr<Controls> c_;
  optimiser::OptimiserRecords& records_;
  std::vector<optimiser::PieceMark> marks_;
  bool data_modified_ = false;
};

}  // namespace zarvel::job
