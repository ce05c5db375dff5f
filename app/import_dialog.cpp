#include "app/import_dialog.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <filesystem>

#include "app/message.h"
#include "app/qt_text.h"
#include "base/cp932.h"
#include "base/format.h"
#include "base/numbers.h"
#include "exchange/part_list.h"
#include "job/job_controls.h"
#include "job/safe_file.h"

namespace zarvel::app {

namespace {

QString U(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

}  // namespace

ImportDialog::ImportDialog(const std::string& template_text, const std::string& job_member,
                           QWidget* parent)
    : QDialog(parent),
      template_text_(template_text),
      job_member_(job_member),
      sections_(new QTableWidget(0, 5, this)),
      preview_(new QTableWidget(0, 0, this)),
      columns_(new QLineEdit(this)),
      plates_(new QCheckBox(QStringLiteral("板 (断面コード B) も読み込む"), this)),
      sum_repeats_(
          new QCheckBox(QStringLiteral("別のファイルの同じ部品をファイルごとに数える"), this)),
      partial_(new QCheckBox(QStringLiteral("読めなかったファイルがある断面も書き出す"), this)),
      summary_(new QLabel(this)),
      load_(new QPushButton(QStringLiteral("選んだ断面を切断リストに読み込む"), this)),
      write_all_(new QPushButton(QStringLiteral("全部を仕事として書き出す…"), this)) {
  setWindowTitle(QStringLiteral("部材データ読み込み（DSTV・CSV）"));
  // Within the screen, whatever the lists hold: they and the summary scroll instead.
  const QRect screen =
      (parent != nullptr && parent->screen() != nullptr ? parent->screen()
                                                        : QGuiApplication::primaryScreen())
          ->availableGeometry();
  setMaximumSize(screen.size());
  resize(std::min(820, screen.width()), std::min(600, screen.height()));
  auto* add_files = new QPushButton(QStringLiteral("ファイルを追加…"), this);
  auto* add_folder = new QPushButton(QStringLiteral("フォルダーを追加…"), this);
  auto* close = new QPushButton(QStringLiteral("閉じる"), this);
  sections_->setHorizontalHeaderLabels({QStringLiteral("断面・材質"),
                                        QStringLiteral("ファイルの断面"), QStringLiteral("本数"),
                                        QStringLiteral("長さの種類"), QStringLiteral("注意")});
  sections_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  sections_->setSelectionBehavior(QAbstractItemView::SelectRows);
  sections_->setSelectionMode(QAbstractItemView::SingleSelection);
  sections_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  summary_->setWordWrap(true);
  summary_->setTextFormat(Qt::PlainText);
  summary_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* summary_area = new QScrollArea(this);
  summary_area->setWidget(summary_);
  summary_area->setWidgetResizable(true);
  summary_area->setMinimumHeight(60);
  columns_->setPlaceholderText(QStringLiteral("見出しから (例: 符号=1,断面=2,長さ=4,本数=5)"));

  auto* files_row = new QHBoxLayout;
  files_row->addWidget(add_files);
  files_row->addWidget(add_folder);
  files_row->addStretch();
  auto* checks = new QVBoxLayout;
  checks->addWidget(plates_);
  checks->addWidget(sum_repeats_);
  checks->addWidget(partial_);
  files_row->addLayout(checks);
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
  layout->addWidget(summary_area, 1);
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
  connect(sum_repeats_, &QCheckBox::toggled, this, [this] { Read(); });
  connect(partial_, &QCheckBox::toggled, this, [this] { Read(); });
  ask = [this](const QString& question) {
    return QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes;
  };
  connect(load_, &QPushButton::clicked, this, [this] { Load(); });
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
  options.sum_repeats = sum_repeats_->isChecked();
  if (!column_text.empty()) {
    if (!exchange::ParseColumnChoice(column_text, choice, error)) {
      summary_->setText(Qs(error));
      return;
    }
    options.columns = &choice;
  }
  files_ = exchange::ReadPartFiles(inputs, options);
  jobs_ = exchange::GroupParts(files_.parts, (job::kCutGridCols - 1) * (job::kCutGridRows - 1));
  exchange::NoteMissing(jobs_, files_.refused);

  sections_->setRowCount(static_cast<int>(jobs_.size()));
  for (int row = 0; row < static_cast<int>(jobs_.size()); ++row) {
    const exchange::ImportedJob& j = jobs_[static_cast<std::size_t>(row)];
    long long pieces = 0;
    for (const job::CutPiece& c : j.pieces) pieces += c.count;
    QString name = U(j.Name());
    if (j.parts > 1) name += QStringLiteral(" (%1/%2)").arg(j.part).arg(j.parts);
    if (!j.usage.empty()) name += QStringLiteral("  ") + U(j.usage);
    const QStringList cells = {
        name, U(j.profile), QString::number(pieces), QString::number(j.pieces.size()),
        j.missing.empty() ? QString() : QStringLiteral("読めなかったファイルの部品が欠けます")};
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
    const auto rows = job::CutCsvLines(bytes, 8);
    std::size_t width = 0;
    for (const auto& r : rows) width = std::max(width, r.size());
    preview_->setColumnCount(static_cast<int>(width));
    preview_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r)
      for (std::size_t c = 0; c < rows[r].size(); ++c)
        preview_->setItem(static_cast<int>(r), static_cast<int>(c),
                          new QTableWidgetItem(Qs(rows[r][c])));
    if (column_text.empty())
      columns_->setPlaceholderText(Qs(exchange::ColumnChoiceText(files_.columns)));
  }

  QString summary = QStringLiteral("読み込んだ部品 %1 件").arg(files_.parts.size());
  if (files_.skipped_lines > 0)
    summary += QStringLiteral("、読み飛ばした表題・合計の行 %1 行").arg(files_.skipped_lines);
  for (const exchange::ListedFile& l : files_.left_out)
    summary += QStringLiteral("\n読み込まなかった部品: %1: %2").arg(U(l.file), U(l.reason));
  for (const exchange::ListedFile& l : files_.refused)
    summary += QStringLiteral("\n読めなかったファイル: %1: %2").arg(U(l.file), U(l.reason));
  for (const exchange::ListedFile& l : files_.repeats)
    summary +=
        QStringLiteral("\n重複した部品 (1 回だけ数えました): %1: %2").arg(U(l.file), U(l.reason));
  for (const exchange::ImportedJob& j : jobs_) {
    if (j.missing.empty()) continue;
    summary += QStringLiteral("\n%1: 読めなかったファイルの部品が欠けます").arg(U(j.Name()));
    if (!partial_->isChecked()) summary += QStringLiteral("（書き出しません）");
  }
  summary_->setText(summary);
  load_->setEnabled(Chosen() != nullptr);
  write_all_->setEnabled(!jobs_.empty());
}

bool ImportDialog::ChangesSection() const {
  const exchange::ImportedJob* chosen = Chosen();
  return chosen != nullptr &&
         exchange::MaterialKey(job_member_, "") != exchange::MaterialKey(chosen->profile, "");
}

void ImportDialog::Load() {
  const exchange::ImportedJob* chosen = Chosen();
  if (chosen == nullptr) return;
  QString question;
  if (!chosen->missing.empty())
    question = QStringLiteral("%1 には読めなかったファイルの部品が欠けています。\n")
                   .arg(U(chosen->Name()));
  const bool blank_member = std::string(base::TrimBlanks(job_member_)).empty();
  if (ChangesSection() && !blank_member) {
    const QString weight = chosen->unit_weight > 0
                               ? QStringLiteral("%1 kg/m").arg(chosen->unit_weight, 0, 'f', 2)
                               : QStringLiteral("空 (分かりません)");
    question += QStringLiteral(
                    "仕事の部材名は %1 です。%2 を読み込むと、部材名を %3、単位重量を %4 "
                    "にします。")
                    .arg(U(job_member_), U(chosen->Name()), U(chosen->section), weight);
  }
  if (!question.isEmpty() && !ask(question + QStringLiteral("\n読み込みますか？"))) return;
  accept();
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
  std::string written, failed, held;
  for (exchange::ImportedJob job : jobs_) {
    if (!job.missing.empty() && !partial_->isChecked()) {
      held += "\n" + job.Name();
      continue;
    }
    if (const job::FileResult r =
            exchange::WriteImportedJobFromText(job, folder.toStdString(), template_text_);
        !r) {
      failed += "\n" + job.file + ": " + base::Cp932ToUtf8(r.Reason());
      continue;
    }
    written += "\n" + job.file;
    for (const std::string& w : job.warnings) written += "\n　注意: " + w;
    for (const std::string& m : job.missing) written += "\n　欠けている部品: " + m;
  }
  std::string message = "仕事を書き出しました。" + written;
  if (!held.empty())
    message = "[#×]読めなかったファイルの部品が欠けるので、書き出さなかった仕事があります。" +
              held + "\n" + message;
  if (!failed.empty())
    message = (held.empty() ? "[#×]" : "") + std::string("書き出せなかった仕事があります。") +
              failed + "\n" + message;
  ShowMessageText(base::Utf8ToCp932(message));
}

}  // namespace zarvel::app
