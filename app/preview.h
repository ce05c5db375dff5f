// The print preview: the report pages as a strip the user scrolls through, the choice of the
// two pattern tables, the cutting diagrams, the saw list and the labels (with their sheet), and
// printing every page.
#pragma once

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/controls.h"
#include "optimiser/host.h"
#include "optimiser/records.h"

class QPrinter;

namespace zarvel::app {

// What the print dialog chose: which pages, and the copies the program must make itself (those
// the printer does not make).
struct PrintChoice {
  enum class Range { kAll, kPages, kCurrent };
  Range range = Range::kAll;
  int from = 0, to = 0;  // kPages, from 1; 0 for "not set"
  int current = 1;       // kCurrent: the page at the top of the preview
  int copies = 1;
  bool collate = true;  // each copy whole, or each page its copies in a row
};
// The report pages to play onto the printer, in order (pages 1..`pages`).
std::vector<int> PrintedPages(int pages, const PrintChoice& choice);

class PreviewWindow final : public QWidget {
 public:
  static constexpr int kLargeChange = 20;  // scroll units per page
  static constexpr int kMaxDisplayWidth = 900;
  static constexpr int kBarWidth = 20;
  static constexpr int kGap = 6;
  // What a window manager's frame and title bar take around the window, at most.
  static constexpr int kFrameRoom = 16;
  static constexpr int kTitleRoom = 48;

  explicit PreviewWindow(const optimiser::OptimiserRecords& records, QWidget* parent = nullptr);

  // Takes the best plan and the lists it was made from, records the report from them and
  // shows the window (after a run).
  void Rebuild();
  // The caption without the page-limit note, which every build adds or removes.
  void SetCaption(const QString& caption);
  // Plays every page onto the printer chosen in the print dialog; a plan older than its job is
  // not printed (the message says so).
  void PrintAll();
  // Shows that the plan on the pages is older than the job (a line beside the print button).
  void SetOutdated(bool outdated);
  bool Outdated() const { return outdated_; }

  int PageCount() const { return pages_; }
  QScrollBar* ScrollBar() const { return scroll_; }
  CheckBox* TableA() const { return table_a_; }
  CheckBox* TableB() const { return table_b_; }
  CheckBox* TableC() const { return table_c_; }
  CheckBox* SawList() const { return saw_list_; }
  CheckBox* Labels() const { return labels_; }
  RadioGroup* LabelSheet() const { return label_sheet_; }
  const QImage& Display() const { return display_; }
  QWidget* PagePanel() const { return panel_; }
  int Renders() const { return renders_; }
  // Whether the page table cut the report short (the caption then says so).
  bool Truncated() const { return truncated_; }

  // Replaceable for tests: the print dialog (false: cancelled).
  std::function<bool(QPrinter&)> ask_print;
  // The job's file (UTF-8), or empty: printing to a file proposes its name and folder.
  std::function<QString()> job_file;
  // The page at the top of the view (the print dialog's current page).
  int CurrentPage() const;
  // Called when the user chooses another label sheet (the job changed).
  std::function<void()> on_label_sheet_change;
  // Jobs planned as one: their member names (CP932), listed on the summary page.
  std::vector<std::string> jobs;
  // Whether Shift is held (the report's value-style rule); absent: the keyboard's own state.
  const optimiser::KeyState* keys = nullptr;

  // Redraws the visible pages for the scroll position.
  void Redraw();

 protected:
  void showEvent(QShowEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct CacheSlot {
    int page = -1;
    QImage bitmap;
  };
  void ForgetCache();
  void PanelResized();
  // Records the pages from the plan taken at the run (also for a table check box).
  void RecordPages();
  void ScrollByWheel(const QWheelEvent& event);

  const optimiser::OptimiserRecords& records_;
  // The plan and the lists as they were at the run: the window re-reads its lists (vertical
  // order, another job) while the preview stays open, and the pages must still match the plan.
  std::unique_ptr<optimiser::OptimiserRecords> plan_;
  QString caption_;
  bool placed_ = false;  // centred on the screen at its first opening
  int pages_ = 0;
  bool truncated_ = false;
  int previous_position_ = 0;
  int renders_ = 0;
  std::array<CacheSlot, 2> cache_;
  QImage display_;
  QPoint display_origin_;
  QWidget* top_ = nullptr;
  CheckBox* table_a_ = nullptr;
  CheckBox* table_b_ = nullptr;
  CheckBox* table_c_ = nullptr;
  CheckBox* saw_list_ = nullptr;
  CheckBox* labels_ = nullptr;
  RadioGroup* label_sheet_ = nullptr;
  QPushButton* print_ = nullptr;
  QLabel* outdated_note_ = nullptr;
  bool outdated_ = false;
  QWidget* panel_ = nullptr;
  QScrollBar* scroll_ = nullptr;
};

}  // namespace zarvel::app
