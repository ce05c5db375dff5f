// The main window: the whole job in its fields and grids, the run button, the menus.
#pragma once

#include <QClipboard>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>

#include "app/controls.h"
#include "app/job_guard.h"
#include "job/file_result.h"
#include "job/job_controls.h"
#include "job/job_file.h"
#include "job/job_window.h"
#include "job/recent_files.h"
#include "optimiser/records.h"
#include "platform/qt_host.h"
#include "run/run_command.h"
#include "session/plan_state.h"
#include "session/yard_session.h"

namespace zarvel::app {

class HistoryWindow;
class PreviewWindow;
class SectionAssist;
class ImportDialog;
class NestDialog;

class MainWindow final : public QMainWindow, public job::JobWindow, public run::RunForm {
 public:
  explicit MainWindow(optimiser::OptimiserRecords& records, QWidget* parent = nullptr);
  ~MainWindow() override;

  // JobWindow
  std::vector<job::SavedControl*> PersistentControls() override;
  void GridFrameSetup() override;
  void RelayoutGrids() override;
  void AfterLoad() override;
  void SetDataModified(bool modified) override { data_modified_ = modified; }
  // Whether the start-up timer has done its one action (re-laying out the grids).
  bool StartupDone() const { return ticks_ >= 2; }
  std::string Caption() const override;
  std::vector<optimiser::PieceMark>* MarkList() override { return &marks_; }

  // RunForm
  const base::Control& Field(run::JobField field) const override;
  run::Grid& StockGrid() override { return *stock_grid_; }
  run::Grid& CutGrid() override { return *cut_grid_; }
  int PrecisionItem() const override { return precision_->ItemIndex(); }
  bool VerticalOrder() const override { return vertical_->isChecked(); }
  std::vector<optimiser::PieceMark> Marks() const override { return marks_; }
  std::vector<optimiser::MeasuredBars> MeasuredStock() const override {
    return yard_stock.measured;
  }
  std::string Grade() const override { return grade; }
  optimiser::RemnantPolicy Policy() const override { return policy; }

  bool DataModified() const { return data_modified_; }
  // Whether the last run gave a plan of the job now open.
  bool Planned() const { return plan_.planned; }
  // The last plan, what it was made from and its commit.
  session::PlanState& Plan() { return plan_; }
  // Whether that plan is of the job as it stands, older than it, or absent.
  session::Freshness PlanFreshness();
  // A change of the job made from outside the window's own fields (the yard's fill): the
  // modified flag, and the result shown as older than the job when it is.
  void JobChanged() { Modified(); }
  // Whether a run is under way (its search on a thread of its own).
  bool Running() const { return running_; }
  // Where the stock of the job was last filled from the yard (YardLink), or null.
  std::function<const session::YardFill*()> current_yard_fill;
  // The path of the current job (the top panel's caption), UTF-8; empty without a file.
  QString CurrentFile() const;
  void SetCurrentFile(const QString& path);

  // The modified-data prompt: Yes, No or Cancel; asks only when the job was changed.
  QMessageBox::StandardButton ConfirmSaveChanges();
  // Opens a job file; fails with the reason when it cannot be read or is not a job (no message
  // here, and nothing changed). The previous job's results are cleared when it opens.
  job::FileResult OpenJob(const QString& path, job::JobLoad* load = nullptr);
  // Opens a job file and makes it current, or shows why it could not be read.
  bool OpenAndShow(const QString& path);
  // The job named on the command line, made absolute first.
  void OpenFromCommandLine(const QString& path);
  // The run button. The search runs on a thread of its own; meanwhile the window stays alive
  // (progress, Shift to stop) and the job's controls and menus take no input. Returns when the
  // run is over.
  void RunClicked(bool user_invoked = true);

  // Replaceable for tests: the yes/no/cancel question, and the save dialog's answer.
  std::function<QMessageBox::StandardButton()> ask_save_changes;
  std::function<QString(const QString& proposed)> ask_save_path;
  std::function<QString(const QString& proposed)> ask_open_path;
  // ... and the file dialogs of the two CSV commands.
  std::function<QString(const QString& proposed)> ask_cut_csv_path;
  std::function<QString(const QString& proposed)> ask_plan_csv_path;
  // ... and the question before a run about cells that read other than they look (CP932
  // text): true goes on, false goes back to the grids.
  std::function<bool(const std::string& cp932)> ask_go_on;
  // ... and the question when the window is closed during a run: true stops it and closes.
  std::function<bool()> ask_stop_run;
  // The modifier keys the run and the sample fill read; the keyboard unless a test lends its own.
  const optimiser::KeyState* keys = &keyboard_;

  NumEdit* Edit(run::JobField field) const;
  CellGrid* Grid1() const { return stock_grid_; }
  CellGrid* Grid2() const { return cut_grid_; }
  RadioGroup* Precision() const { return precision_; }
  CheckBox* Vertical() const { return vertical_; }
  QLabel* ProgressLabel() const { return progress_; }
  QLabel* DateLabel() const { return date_label_; }
  SectionAssist* Sections() const { return section_assist_; }
  QPushButton* RunButton() const { return run_; }
  // 最適's remnant policy: the check box 端材優先, its keep length, and the note that it needs
  // 最適.
  QCheckBox* OffcutsFirst() const { return offcuts_first_; }
  NumEdit* KeepEdit() const { return keep_; }
  QLabel* PolicyNote() const { return policy_note_; }
  QPushButton* ClearStockButton() const { return clear_stock_; }
  QPushButton* ClearCutButton() const { return clear_cut_; }
  QPushButton* PasteButton() const { return paste_; }
  HistoryWindow* History() const { return history_; }
  PreviewWindow* Preview() const { return preview_; }
  void SetHistoryWindow(HistoryWindow* history) { history_ = history; }
  // The preview's check boxes: saved with the job.
  CheckBox* TableA() const { return table_a_; }
  CheckBox* TableB() const { return table_b_; }

  void Save();
  void SaveAs();
  void Open();
  // File menu "新規": a fresh job, once the old one is saved or given up.
  void NewJob();
  // [貼り付け] (also Ctrl+V in a grid): the clipboard's lines into the grid's free cells.
  void PasteInto(CellGrid* grid, QClipboard::Mode mode = QClipboard::Clipboard);
  // [ｸﾘｱ]: every data cell emptied.
  void ClearGrid(CellGrid* grid);
  // File menu "切断リスト読み込み…": a CSV cut list replaces the cut grid.
  void ReadCutListCsv();
  // 部材データ読み込み: one section of detailing software's parts into the cut list.
  void ImportParts();
  // ファイル → まとめて計画…: several jobs planned together per material.
  void NestJobs();
  // Called with the import dialog before it is shown (tests drive it from here).
  std::function<void(ImportDialog&)> on_import_dialog;
  // Called with まとめて計画's dialog before it is shown (tests answer it there).
  std::function<void(NestDialog&)> on_nest_dialog;
  // File menu "CSV出力…": the last run's plan as CSV.
  void WritePlanCsv();
  // Start-up once shown: the recent items from their list, then the last job.
  void StartUp();
  // Puts a path on top of the recent list (after every successful open and save).
  void UpdateRecentFiles(const QString& path);
  void Reopen(int item);
  void ClearHistory();
  const job::RecentFiles& Recent() const { return recent_; }
  QAction* RecentItem(int i) const { return recent_items_[static_cast<std::size_t>(i)]; }
  QAction* RecentWork() const { return recent_work_; }
  QAction* RecentClear() const { return recent_clear_; }
  // The first of the dropped files: a job (".zv5" in any case) is opened; a CSV cut list
  // (".csv", ".txt") is read into the cut list once the user agrees; anything else says why not.
  void DropFiles(const QList<QUrl>& urls);
  // Replaceable for tests: the question before a dropped list is read, and the browser.
  std::function<bool(const QString& text)> ask_read_list;
  std::function<bool(const QString& url)> open_url;
  void SetToday(const std::string& yyyy_mm_dd);
  // The lock beside the open job and what its file was: consulted before opening and saving.
  JobGuard& Guard() { return guard_; }
  QLabel* ReadOnlyLabel() const { return read_only_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildControls(QWidget* panel);
  void BuildHeading(QWidget* panel);
  void BuildGrids(QWidget* panel);
  void BuildConditions(QWidget* panel);
  void BuildRunArea(QWidget* panel);
  void SetTabOrder();
  // The month and day fields take only dates a calendar has.
  void GuardDateFields();
  // A CSV cut list into the cut grid, or the reason it could not be read.
  void LoadCutList(const QString& path);
  static std::string DroppedFileMessage(const QString& path, bool exists);
  bool AskReadDroppedList(const QString& path);
  // A web address in the browser; without one, a message with the address to open.
  void OpenWebPage(const char* address);
  void ConnectGridButtons();
  // A job field as the table declares it, at its place on the panel.
  NumEdit* AddEdit(QWidget* parent, job::JobControl control, QRect geometry);
  // Records a built control under its place in the table.
  template <class Widget>
  Widget* Register(job::JobControl control, Widget* widget);
  void TimerTick();
  // The question about doubtful cells: whether to go on.
  bool GoOnWithCells(const std::vector<std::string>& lines);
  // A change of what the job file saves; the result label shows whether the last plan is now
  // older than the job.
  void Modified(bool changes_plan = true) {
    data_modified_ = true;
    if (changes_plan) ShowPlanFreshness();
  }
  // The policy's widgets from the job (after a load), the job's policy from the widgets (after a
  // change of them), and the note shown while the box is ticked at another precision than 最適.
  void ShowPolicy();
  void TakePolicy();
  void BuildPolicy(QWidget* panel);
  // The result label greyed while the plan shown is older than the job, its text unchanged.
  void ShowPlanFreshness();
  // Every control and menu item of the job off (true) while a run is under way, or back on.
  void LockJobControls(bool lock);
  // Another job: no preview, no result, no plan.
  void ClearResults();
  // The focus into the grid, on its first free cell, ready for the next key.
  void EnterFirstFreeCell(CellGrid* grid);

  optimiser::OptimiserRecords& records_;
  platform::QtKeyState keyboard_;
  bool data_modified_ = false;
  session::PlanState plan_;  // the last run's plan (of the job now open)
  bool running_ = false;
  bool close_after_run_ = false;    // the window was closed during a run: it closes after it
  std::function<void()> stop_run_;  // asks the run under way to stop
  std::vector<QWidget*> locked_widgets_;
  std::vector<QAction*> locked_actions_;
  QTimer freshness_timer_;
  bool loading_ = false;  // a job file is being read into the controls
  int ticks_ = 0;
  QTimer timer_;
  QLabel* top_ = nullptr;
  std::array<NumEdit*, job::kJobFieldCount> edits_{};  // by JobField
  // Every saved control and its widget, in table (file) order.
  std::array<job::SavedControl*, job::kJobControlCount> saved_{};
  std::array<QWidget*, job::kJobControlCount> widgets_{};
  CellGrid* stock_grid_ = nullptr;
  CellGrid* cut_grid_ = nullptr;
  RadioGroup* precision_ = nullptr;
  CheckBox* vertical_ = nullptr;
  CheckBox* table_a_ = nullptr;
  CheckBox* table_b_ = nullptr;
  QLabel* progress_ = nullptr;
  QLabel* date_label_ = nullptr;
  SectionAssist* section_assist_ = nullptr;
  std::vector<optimiser::PieceMark> marks_;  // the cut list's piece marks
  QLabel* stock_caption_ = nullptr;
  QLabel* cut_caption_ = nullptr;
  QLabel* maker_ = nullptr;
  QPushButton* run_ = nullptr;
  QCheckBox* offcuts_first_ = nullptr;
  NumEdit* keep_ = nullptr;
  QLabel* policy_note_ = nullptr;
  QPushButton* clear_stock_ = nullptr;
  QPushButton* clear_cut_ = nullptr;
  QPushButton* paste_ = nullptr;
  HistoryWindow* history_ = nullptr;
  PreviewWindow* preview_ = nullptr;
  job::RecentFiles recent_;
  std::array<QAction*, job::RecentFiles::kItems> recent_items_{};
  QAction* recent_work_ = nullptr;
  QAction* recent_clear_ = nullptr;
  void ShowRecentItems();
  // An opened job becomes the window's: its lock, its file, the recent list, the read-only mark.
  void TakeOpenedJob(const QString& path, const job::JobLoad& load, bool read_only);
  void ShowReadOnly();

  JobGuard guard_;
  QLabel* read_only_ = nullptr;  // shown while the job is open read-only
};

// The modified-data prompt: a warning with the buttons はい, いいえ and キャンセル.
std::unique_ptr<QMessageBox> SavePrompt(QWidget* parent);

// Web addresses the menu and the label open.
inline constexpr const char* kProductPage = "https://www.vadavavur.jp/zarvel5/";
inline constexpr const char* kMakerPage = "https://www.vadavavur.jp/";

}  // namespace zarvel::app
