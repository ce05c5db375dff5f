// まとめて計画: job files (or a folder of them) grouped by material, each group planned as one
// cutting problem off the window's thread with its progress and Shift to stop, a group's pages
// in the preview, and every group committed to the yard in one entry.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/preview.h"
#include "optimiser/host.h"
#include "session/nest.h"

namespace zarvel::app {

class NestDialog final : public QDialog {
 public:
  static constexpr int kSectionColumn = 0;
  static constexpr int kJobsColumn = 1;
  static constexpr int kPiecesColumn = 2;
  static constexpr int kLengthsColumn = 3;
  static constexpr int kStatusColumn = 4;

  explicit NestDialog(QWidget* parent = nullptr);
  ~NestDialog() override;

  // Adds job files, or every job file in a folder, and groups them again (the plans are gone).
  void AddPaths(const QStringList& paths);
  // Plans every group off the window's thread; the dialog takes no input meanwhile.
  void Plan();
  // Opens the preview with the pages of the table's current group (a planned one).
  void OpenPreview();
  // Commits every group's plan to the yard in one entry, after asking.
  void Commit();

  QTableWidget* Groups() const { return groups_; }
  QLabel* Progress() const { return progress_; }
  QLabel* Notes() const { return notes_; }
  QCheckBox* FromYard() const { return from_yard_; }
  QPushButton* AddFilesButton() const { return add_files_; }
  QPushButton* AddFolderButton() const { return add_folder_; }
  QPushButton* PlanButton() const { return plan_; }
  QPushButton* PreviewButton() const { return preview_button_; }
  QPushButton* CommitButton() const { return commit_; }
  PreviewWindow* Preview() const { return preview_.get(); }
  const session::Nest& Result() const { return nest_; }
  bool Running() const { return running_; }
  // 閉じる (also Esc and the title bar's close): during a run, the run stops first.
  void reject() override;

  // The file and folder choosers and the question before a commit; tests set their own.
  std::function<QStringList()> pick_files;
  std::function<QString()> pick_folder;
  std::function<bool(const QString& question)> ask;
  // Called before a group's preview opens (the window closes its own: the pages are shared).
  std::function<void()> before_preview;
  // The keys the run polls; absent: the keyboard's own state.
  const optimiser::KeyState* keys = nullptr;
  // Called on the window's thread each time the run's thread reports (tests).
  std::function<void()> on_running;

 private:
  // Reads and groups the jobs named (without planning) or plans them on a thread.
  void Build(bool plan);
  void Fill();
  void Lock(bool lock);
  void UpdateButtons();

  QStringList paths_;
  session::Nest nest_;
  bool planned_ = false;    // the groups in the table were planned (not only read)
  bool committed_ = false;  // these plans are in the yard: a second commit is refused
  bool running_ = false;
  bool close_after_run_ = false;
  std::function<void()> stop_run_;
  std::vector<QWidget*> locked_;
  std::unique_ptr<PreviewWindow> preview_;
  QTableWidget* groups_;
  QLabel* progress_;
  QLabel* notes_;
  QCheckBox* from_yard_;
  QPushButton* add_files_;
  QPushButton* add_folder_;
  QPushButton* clear_;
  QPushButton* plan_;
  QPushButton* preview_button_;
  QPushButton* commit_;
  QPushButton* close_;
};

}  // namespace zarvel::app
