// 部材データ読み込み: parts from detailing software (DSTV part files, a folder of them, or a CSV
// parts list) shown by section; one section goes into the job's cut list with its marks, or every
// section is written as a job of its own.
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
  // `template_path` (UTF-8; may be empty): the job whose stock and conditions written jobs take.
  ImportDialog(const std::string& template_path, QWidget* parent);

  // Adds files or folders and reads everything again.
  void AddPaths(const QStringList& paths);

  // The section the user chose to load (valid after the dialog is accepted), or null.
  const exchange::ImportedJob* Chosen() const;

  QTableWidget* Sections() const { return sections_; }
  QTableWidget* Preview() const { return preview_; }
  QLineEdit* Columns() const { return columns_; }
  QLabel* Summary() const { return summary_; }
  QPushButton* LoadButton() const { return load_; }
  QPushButton* WriteAllButton() const { return write_all_; }

  // The file and folder choosers; tests set their own.
  std::function<QStringList()> pick_files;
  std::function<QString()> pick_folder;
  std::function<QString()> pick_out_folder;

 private:
  void Read();
  void WriteAll();

  std::string template_path_;
  QStringList paths_;
  exchange::PartFiles files_;
  std::vector<exchange::ImportedJob> jobs_;
  QTableWidget* sections_;
  QTableWidget* preview_;
  QLineEdit* columns_;
  QCheckBox* plates_;
  QLabel* summary_;
  QPushButton* load_;
  QPushButton* write_all_;
};

}  // namespace zarvel::app
