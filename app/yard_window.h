// The yard in the window: the "在庫" menu with the yard window (items by section with a filter,
// add, take, location and lot, the ledger in local time with undo of any entry), the "在庫から"
// button beside the stock list, and committing the last plan to the yard and undoing that
// commit. A busy yard file shows the wait cursor and a line the user can cancel.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "optimiser/records.h"
#include "session/yard_session.h"
#include "yard/stock.h"
#include "yard/yard.h"

namespace zarvel::app {

class MainWindow;

class YardWindow final : public QWidget {
 public:
  explicit YardWindow(QWidget* parent = nullptr);

  // Lists the items of the sections the filter matches (all when it is empty), and the ledger.
  void Refresh();
  void AddItem();
  void TakeSelected();
  void EditPlace();
  // Undoes the ledger entry selected, once the user confirmed what comes back.
  void UndoSelected();

  QLineEdit* Filter() const { return filter_; }
  QTableWidget* Items() const { return items_; }
  QTableWidget* Ledger() const { return ledger_; }

  // Replaceable for tests: the values of a new item, of a take and of a place.
  std::function<std::optional<yard::NewItem>()> ask_new_item;
  std::function<std::optional<int64_t>(const yard::Item&)> ask_take;
  std::function<std::optional<std::pair<std::string, std::string>>(const yard::Item&)> ask_place;
  std::function<bool(const QString& summary)> ask_undo;
  // Called after an entry was undone (the main window's plan of that commit may be committed
  // again).
  std::function<void(int64_t entry)> on_undone;

 private:
  std::unique_ptr<yard::Yard> Open();
  std::optional<yard::Item> Selected() const;

  QLineEdit* filter_ = nullptr;
  QTableWidget* items_ = nullptr;
  QTableWidget* ledger_ = nullptr;
  std::vector<yard::Item> shown_;
  std::vector<yard::Entry> entries_;  // the ledger as shown, the newest first
};

class YardLink final : public QObject {
 public:
  YardLink(MainWindow& window, optimiser::OptimiserRecords& records);
  ~YardLink() override;

  // "在庫から": the stock grid filled from the yard for the job's section.
  void FillFromYard();
  // "計画を確定（在庫を更新）": the last plan's bars taken, its remnants added.
  void CommitPlan();
  // Undoes the commit made last from this window.
  void UndoLastCommit();
  // The menu's commit and undo, enabled as the plan and the last commit allow.
  void UpdateActions();
  QAction* CommitAction() const { return commit_; }
  QAction* UndoAction() const { return undo_; }

  QPushButton* FillButton() const { return fill_button_; }
  // "点検・修復…": the yard's counts against its ledger; a repair once the user confirms it.
  void CheckAndRepair();
  // "在庫の場所…": a file or a server (PostgreSQL), tried before it is kept in the settings.
  void ChoosePlace();
  // The bars of a stock cell that are measured offcuts from the yard (0: none).
  long long MeasuredBars(int col, int row) const;
  YardWindow* Window() const { return window_.get(); }
  int64_t LastCommit() const { return last_commit_; }
  // Replaceable for tests: whether the user confirms the commit summarised (UTF-8), and
  // whether a stock list typed by hand may be replaced by the yard's.
  std::function<bool(const QString& summary)> ask_commit;
  std::function<bool()> ask_replace;
  // Replaceable for tests: the place chosen in the dialog (UTF-8), or nothing when cancelled.
  std::function<std::optional<std::string>(const std::string& current)> ask_place;
  std::function<bool(const QString& summary)> ask_repair;

 private:
  MainWindow& main_;
  optimiser::OptimiserRecords& records_;
  QPushButton* fill_button_ = nullptr;
  QAction* commit_ = nullptr;
  QAction* undo_ = nullptr;
  std::unique_ptr<YardWindow> window_;
  session::YardFill fill_;  // what "在庫から" put in the grid, and the yard's revision then
  int64_t last_commit_ = 0;
};

}  // namespace zarvel::app
