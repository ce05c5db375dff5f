// 部材データ読み込み: parts from detailing software (DSTV part files, a folder of them, or a CSV
// parts list) shown by section and grade; one goes into the job's cut list with its marks, or
// every one is written as a job of its own. The dialog never grows past the screen: its lists
// and its summary scroll.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <functional>
#include <string>
#include <vector>

#include "exchange/part_files.h"
#include "exchange/part_import.h"

namespace zarvel::app {

class ImportDialog final : public QDialog {
 public:
  // `template_text` (CP932, a job's text; may be empty): the stock and conditions written jobs
  // take, as the window holds them now. `job_member` (UTF-8): the window's 部材名, against
  // which a section to load is compared.
  ImportDialog(const std::string& template_text, const std::string& job_member, QWidget* parent);

  // Adds files or folders and reads everything again.
  void AddPaths(const QStringList& paths);

  // The section the user chose to load (valid after the dialog is accepted), or null.
  const exchange::ImportedJob* Chosen() const;
  // Whether the chosen section is another than the job's: its 部材名 and 単位重量 are then the
  // section's (the user was asked first).
  bool ChangesSection() const;

  QTableWidget* Sections() const { return sections_; }
  QTableWidget* Preview() const { return preview_; }
  QLineEdit* Columns() const { return columns_; }
  QLabel* Summary() const { return summary_; }
  QPushButton* LoadButton() const { return load_; }
  QPushButton* WriteAllButton() const { return write_all_; }
  QCheckBox* SumRepeats() const { return sum_repeats_; }
  QCheckBox* Partial() const { return partial_; }

  // Asked before a section other than the job's is loaded; true loads it. Tests answer.
  std::function<bool(const QString& question)> ask;

  // The file and folder choosers; tests set their own.
  std::function<QStringList()> pick_files;
  std::function<QString()> pick_folder;
  std::function<QString()> pick_out_folder;

 private:
  void Read();
  void Load();
  void WriteAll();

  std::string template_text_;
  std::string job_member_;
  QStringList paths_;
  exchange::PartFiles files_;
  std::vector<exchange::ImportedJob> jobs_;
  QTableWidget* sections_;
  QTableWidget* preview_;
  QLineEdit* columns_;
  QCheckBox* plates_;
  QCheckBox* sum_repeats_;
  QCheckBox* partial_;
  QLabel* summary_;
  QPushButton* load_;
  QPushButton* write_all_;
};

}  // namespace zarvel::app
