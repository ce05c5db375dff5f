// Stand-ins for the window that tests drive the run command with.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "base/control.h"
#include "base/cp932.h"
#include "job/job_controls.h"
#include "run/grid.h"
#include "run/host.h"
#include "run/run_command.h"

namespace zarvel::testing {

class FakeControl : public base::Control {
 public:
  explicit FakeControl(base::ControlKind kind = base::ControlKind::kEdit, std::string text = {})
      : kind_(kind), text_(std::move(text)) {}
  base::ControlKind Kind() const override { return kind_; }
  std::string Text() const override { return text_; }
  bool Checked() const override { return checked_; }

  void SetText(std::string text) { text_ = std::move(text); }
  void SetChecked(bool checked) { checked_ = checked; }

 private:
  base::ControlKind kind_;
  std::string text_;
  bool checked_ = false;
};

// The job with its start-up defaults and empty grids of the window's size.
class FakeForm : public run::RunForm {
 public:
  FakeForm() {
    for (const job::ControlEntry& entry : job::kJobControls)
      if (entry.field) Set(*entry.field, job::StartText(entry));
  }

  const base::Control& Field(run::JobField f) const override {
    return fields_[static_cast<int>(f)];
  }
  run::Grid& StockGrid() override { return stock; }
  run::Grid& CutGrid() override { return cut; }
  int PrecisionItem() const override { return precision; }
  bool VerticalOrder() const override { return vertical; }

  void Set(run::JobField f, std::string text) {
    fields_[static_cast<int>(f)].SetText(std::move(text));
  }
  // Fills data cells row by row from the first.
  static void Fill(run::Grid& grid, const std::vector<std::string>& cells) {
    std::size_t i = 0;
    for (int r = 1; r < grid.RowCount(); ++r)
      for (int c = 1; c < grid.ColCount(); ++c)
        grid.SetCell(c, r, i < cells.size() ? cells[i++] : std::string());
  }

  run::MemoryGrid stock{job::Entry(job::JobControl::kStockGrid).cols,
                        job::Entry(job::JobControl::kStockGrid).rows};
  run::MemoryGrid cut{job::Entry(job::JobControl::kCutGrid).cols,
                      job::Entry(job::JobControl::kCutGrid).rows};
  int precision = job::Entry(job::JobControl::kPrecision).value;
  bool vertical = job::Entry(job::JobControl::kVerticalOrder).value != 0;

 private:
  FakeControl fields_[job::kJobFieldCount];
};

class FakeHost : public run::MessageSink,
                 public optimiser::KeyState,
                 public optimiser::ProgressLabel,
                 public optimiser::Clock,
                 public run::PreviewOpener,
                 public run::BusyCursor {
 public:
  void ShowMessageText(const std::string& text) override {
    messages.push_back(text);
    busy_at_message.push_back(busy);
  }
  bool IsKeyDown(int key) const override { return keys_down.count(key) != 0; }
  void SetProgressText(const std::string& text) override { progress.push_back(text); }
  void Pause(int ms) override { pauses.push_back(ms); }
  void ClosePreview() override { ++preview_closes; }
  void OpenPreview(const std::string& caption) override { preview_captions.push_back(caption); }
  void BeginBusy() override { busy = true; }
  void EndBusy() override { busy = false; }

  run::RunHost Host() {
    run::RunHost h;
    h.messages = this;
    h.keys = this;
    h.progress = this;
    h.clock = this;
    h.preview = this;
    h.cursor = this;
    h.version_text = "2025.04.01";
    return h;
  }

  std::set<int> keys_down;
  std::vector<std::string> messages;
  std::vector<bool> busy_at_message;
  std::vector<std::string> progress;
  std::vector<int> pauses;
  std::vector<std::string> preview_captions;
  int preview_closes = 0;
  bool busy = false;
};

}  // namespace zarvel::testing
