#include "app/import_dialog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <filesystem>

#include "app/message.h"
#include "app/qt_text.h"
#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "job/job_controls.h"
#include "job/safe_file.h"

namespace zarvel::app {

namespace {

QString U(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

}  // namespace

ImportDialog::ImportDialog(const std::string& template_path, QWidget* parent)
    : QDialog(parent),
      template_path_(template_path),
      sections_(new QTableWidget(0, 4, this)),
      preview_(new QTableWidget(0, 0, this)),
      columns_(new QLineEdit(this)),
      plates_(new QCheckBox(QStringLiteral("板 (断面コード B) も読み込む"), this)),
      summary_(new QLabel(this)),
      load_(new QPushButton(QStringLiteral("選んだ断面を切断リストに読み込む"), this)),
      write_all_(new QPushButton(QStringLiteral("全部を仕事として書き出す…"), this)) {
  setWindowTitle(QStringLiteral("部材データ読み込み（DSTV・CSV）"));
  resize(820, 560);
  auto* add_files = new QPushButton(QStringLiteral("ファイルを追加…"), this);
  auto* add_folder = new QPushButton(QStringLiteral("フォルダーを追加…"), this);
  auto* close = new QPushButton(QStringLiteral("閉じる"), this);
  sections_->setHorizontalHeaderLabels({QStringLiteral("断面"), QStringLiteral("ファイルの断面"),
                                        QStringLiteral("本数"), QStringLiteral("長さの種類")});
  sections_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  sections_->setSelectionBehavior(QAbstractItemView::SelectRows);
  sections_->setSelectionMode(QAbstractItemView::SingleSelection);
  sections_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  summary_->setWordWrap(true);
  summary_->setTextFormat(Qt::PlainText);
  columns_->setPlaceholderText(QStringLiteral("見出しから (例: 符号=1,断面=2,長さ=4,本数=5)"));

  auto* files_row = new QHBoxLayout;
  files_row->addWidget(add_files);
  files_row->addWidget(add_folder);
  files_row->addStretch();
  files_row->addWidget(plates_);
  auto* columns_row = new QHBoxLayout;
  columns_row->addWidget(new QLabel(QStringLiteral("CSV の列:"), this));
  columns_row->addWidget(columns_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(load_);
  buttons->addWidget(write_all_);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(files_row);
  layout->addWidget(sections_, 2);
  layout->addLayout(columns_row);
  layout->addWidget(new QLabel(QStringLiteral("CSV の始めの行:"), this));
  layout->addWidget(preview_, 1);
  layout->addWidget(summary_);
  layout->addLayout(buttons);

  pick_files = [this] {
    return QFileDialog::getOpenFileNames(
        this, QStringLiteral("部材データのファイル"), QString(),
        QStringLiteral("部材データ (*.nc1 *.NC1 *.nc *.NC *.csv *.CSV *.txt *.TXT);;すべて (*)"));
  };
  pick_folder = [this] {
    return QFileDialog::getExistingDirectory(this, QStringLiteral("部材データのフォルダー"));
  };
  pick_out_folder = [this] {
    return QFileDialog::getExistingDirectory(this, QStringLiteral("仕事を書き出すフォルダー"));
  };
  connect(add_files, &QPushButton::clicked, this, [this] { AddPaths(pick_files()); });
  connect(add_folder, &QPushButton::clicked, this, [this] {
    const QString folder = pick_folder();
    if (!folder.isEmpty()) AddPaths({folder});
  });
  connect(columns_, &QLineEdit::editingFinished, this, [this] { Read(); });
  connect(plates_, &QCheckBox::toggled, this, [this] { Read(); });
  connect(load_, &QPushButton::clicked, this, [this] {
    if (Chosen() != nullptr) accept();
  });
  connect(write_all_, &QPushButton::clicked, this, [this] { WriteAll(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(sections_, &QTableWidget::itemSelectionChanged, this,
          [this] { load_->setEnabled(Chosen() != nullptr); });
  Read();
}

void ImportDialog::AddPaths(const QStringList& paths) {
  for (const QString& p : paths)
    if (!p.isEmpty() && !paths_.contains(p)) paths_ << p;
  Read();
}

void ImportDialog::Read() {
  std::vector<std::string> inputs;
  for (const QString& p : paths_) inputs.push_back(p.toStdString());
  job::ColumnChoice choice;
  std::string error;
  const std::string column_text = Cp(columns_->text().trimmed());
  exchange::PartFileOptions options;
  options.include_plates = plates_->isChecked();
  if (!column_text.empty()) {
    if (!job::ParseColumnChoice(column_text, choice, error)) {
      summary_->setText(Qs(error));
      return;
    }
    options.columns = &choice;
  }
  files_ = exchange::ReadPartFiles(inputs, options);
  jobs_ = exchange::GroupParts(files_.parts, (job::kCutGridCols - 1) * (job::kCutGridRows - 1));

  sections_->setRowCount(static_cast<int>(jobs_.size()));
  for (int row = 0; row < static_cast<int>(jobs_.size()); ++row) {
    const exchange::ImportedJob& j = jobs_[static_cast<std::size_t>(row)];
    long long pieces = 0;
    for (const job::CutPiece& c : j.pieces) pieces += c.count;
    QString name = U(j.section);
    if (j.parts > 1) name += QStringLiteral(" (%1/%2)").arg(j.part).arg(j.parts);
    const QStringList cells = {name, U(j.profile), QString::number(pieces),
                               QString::number(j.pieces.size())};
    for (int c = 0; c < cells.size(); ++c)
      sections_->setItem(row, c, new QTableWidgetItem(cells[c]));
  }
  if (!jobs_.empty()) sections_->selectRow(0);

  // The first rows of the last list, and the columns it was read by.
  preview_->clear();
  preview_->setRowCount(0);
  preview_->setColumnCount(0);
  std::string bytes;
  if (!files_.last_list.empty() &&
      job::ReadWholeFile(files_.last_list, bytes, job::kMaxCutCsvSize)) {
    const auto rows = job::CsvPreview(bytes, 8);
    std::size_t width = 0;
    for (const auto& r : rows) width = std::max(width, r.size());
    preview_->setColumnCount(static_cast<int>(width));
    preview_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r)
      for (std::size_t c = 0; c < rows[r].size(); ++c)
        preview_->setItem(static_cast<int>(r), static_cast<int>(c),
                          new QTableWidgetItem(Qs(rows[r][c])));
    if (column_text.empty())
      columns_->setPlaceholderText(Qs(job::ColumnChoiceText(files_.columns)));
  }

  QString summary = QStringLiteral("読み込んだ部品 %1 件").arg(files_.parts.size());
  if (files_.skipped_lines > 0)
    summary += QStringLiteral("、読み飛ばした表題・合計の行 %1 行").arg(files_.skipped_lines);
  for (const exchange::ListedFile& l : files_.left_out)
    summary += QStringLiteral("\n読み込まなかった部品: %1: %2").arg(U(l.file), U(l.reason));
  for (const exchange::ListedFile& l : files_.refused)
    summary += QStringLiteral("\n読めなかったファイル: %1: %2").arg(U(l.file), U(l.reason));
  summary_->setText(summary);
  load_->setEnabled(Chosen() != nullptr);
  write_all_->setEnabled(!jobs_.empty());
}

const exchange::ImportedJob* ImportDialog::Chosen() const {
  const int row = sections_->currentRow();
  if (row < 0 || row >= static_cast<int>(jobs_.size()) || sections_->selectedItems().isEmpty())
    return nullptr;
  return &jobs_[static_cast<std::size_t>(row)];
}

void ImportDialog::WriteAll() {
  const QString folder = pick_out_folder();
  if (folder.isEmpty()) return;
  std::string written, failed;
  for (exchange::ImportedJob job : jobs_) {
    if (const job::FileResult r =
            exchange::WriteImportedJob(job, folder.toStdString(), template_path_);
        !r) {
      failed += "\n" + job.file + ": " + base::Cp932ToUtf8(r.Reason());
      continue;
    }
    written += "\n" + job.file;
    for (const std::string& w : job.warnings) written += "\n　注意: " + w;
  }
  std::string message = "仕事を書き出しました。" + written;
  if (!failed.empty()) message = "[#×]書き出せなかった仕事があります。" + failed + "\n" + message;
  ShowMessageText(base::Utf8ToCp932(message));
}

}  // namespace zarvel::app
