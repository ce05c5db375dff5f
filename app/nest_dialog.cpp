#include "app/nest_dialog.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "app/message.h"
#include "app/search_thread.h"
#include "base/cp932.h"
#include "base/format.h"
#include "job/settings.h"
#include "platform/qt_host.h"

namespace zarvel::app {
namespace {

QString U(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

QString StatusText(const session::NestGroup& g, bool planned) {
  if (g.refused) return QStringLiteral("計画しません");
  if (!planned) return QStringLiteral("未計画");
  switch (g.run.outcome) {
    case run::RunOutcome::kPlanned:
      return QStringLiteral("計画済み");
    case run::RunOutcome::kShort:
      return QStringLiteral("素材が足りません");
    case run::RunOutcome::kNoStock:
      return QStringLiteral("素材がありません");
    default:
      return QStringLiteral("計画できません");
  }
}

}  // namespace

NestDialog::NestDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("まとめて計画"));
  add_files_ = new QPushButton(QStringLiteral("仕事を追加…"), this);
  add_folder_ = new QPushButton(QStringLiteral("フォルダーを追加…"), this);
  clear_ = new QPushButton(QStringLiteral("クリア"), this);
  from_yard_ = new QCheckBox(QStringLiteral("素材は在庫から"), this);
  auto* files_row = new QHBoxLayout;
  files_row->addWidget(add_files_);
  files_row->addWidget(add_folder_);
  files_row->addWidget(clear_);
  files_row->addStretch();
  files_row->addWidget(from_yard_);

  groups_ = new QTableWidget(0, 5, this);
  groups_->setHorizontalHeaderLabels({QStringLiteral("鋼材"), QStringLiteral("仕事"),
                                      QStringLiteral("切断材"), QStringLiteral("長さの種類"),
                                      QStringLiteral("状態")});
  groups_->setSelectionBehavior(QAbstractItemView::SelectRows);
  groups_->setSelectionMode(QAbstractItemView::SingleSelection);
  groups_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  groups_->verticalHeader()->hide();
  groups_->horizontalHeader()->setStretchLastSection(true);
  groups_->setColumnWidth(kSectionColumn, 220);
  groups_->setColumnWidth(kJobsColumn, 300);

  progress_ = new QLabel(this);
  progress_->setMinimumHeight(36);
  notes_ = new QLabel(this);
  notes_->setWordWrap(true);
  notes_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  plan_ = new QPushButton(QStringLiteral("計画"), this);
  preview_button_ = new QPushButton(QStringLiteral("帳票を見る"), this);
  commit_ = new QPushButton(QStringLiteral("在庫に確定"), this);
  close_ = new QPushButton(QStringLiteral("閉じる"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(plan_);
  buttons->addWidget(preview_button_);
  buttons->addWidget(commit_);
  buttons->addStretch();
  buttons->addWidget(close_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(files_row);
  layout->addWidget(groups_, 1);
  layout->addWidget(progress_);
  layout->addWidget(notes_);
  layout->addLayout(buttons);
  resize(860, 520);

  pick_files = [this] {
    return QFileDialog::getOpenFileNames(this, QStringLiteral("まとめて計画する仕事"), QString(),
                                         QStringLiteral("仕事 (*.zv5 *.ZV5);;すべて (*)"));
  };
  pick_folder = [this] {
    return QFileDialog::getExistingDirectory(this, QStringLiteral("仕事のフォルダー"));
  };
  ask = [this](const QString& question) {
    return QMessageBox::question(this, QStringLiteral("在庫に確定"), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
  };
  connect(add_files_, &QPushButton::clicked, this, [this] { AddPaths(pick_files()); });
  connect(add_folder_, &QPushButton::clicked, this, [this] {
    const QString folder = pick_folder();
    if (!folder.isEmpty()) AddPaths({folder});
  });
  connect(clear_, &QPushButton::clicked, this, [this] {
    paths_.clear();
    Build(false);
  });
  connect(from_yard_, &QCheckBox::toggled, this, [this] {
    if (planned_) Build(false);  // plans of the other stock are no longer what is asked
  });
  connect(plan_, &QPushButton::clicked, this, [this] { Plan(); });
  connect(preview_button_, &QPushButton::clicked, this, [this] { OpenPreview(); });
  connect(commit_, &QPushButton::clicked, this, [this] { Commit(); });
  connect(close_, &QPushButton::clicked, this, [this] { reject(); });
  connect(groups_, &QTableWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
  connect(groups_, &QTableWidget::cellDoubleClicked, this, [this] { OpenPreview(); });
  UpdateButtons();
}

NestDialog::~NestDialog() = default;

void NestDialog::AddPaths(const QStringList& paths) {
  for (const QString& path : paths) {
    if (QFileInfo(path).isDir()) {
      const QDir dir(path);
      for (const QString& name : dir.entryList({QStringLiteral("*.zv5"), QStringLiteral("*.ZV5")},
                                               QDir::Files, QDir::Name | QDir::IgnoreCase))
        paths_.append(dir.filePath(name));
    } else if (!path.isEmpty()) {
      paths_.append(path);
    }
  }
  Build(false);
}

void NestDialog::Plan() {
  if (running_ || paths_.isEmpty()) return;
  Build(true);
}

void NestDialog::Build(bool plan) {
  preview_.reset();  // its pages are those of plans about to go
  session::NestOptions o;
  for (const QString& p : paths_) o.jobs.push_back(p.toStdString());
  o.from_yard = from_yard_->isChecked();
  o.plan = plan;
  planned_ = false;
  committed_ = false;
  if (!plan) {
    nest_ = session::BuildNest(o);
    Fill();
    return;
  }
  // The groups plan on a thread of their own; the window's thread shows their progress and
  // samples Shift for them.
  static const platform::QtKeyState keyboard;
  const optimiser::KeyState& from = keys != nullptr ? *keys : keyboard;
  SampledKeys sampled;
  sampled.Sample(from);
  PostedProgress progress(progress_);
  platform::QtClock clock;
  o.search = {&progress, &sampled, &clock};
  o.progress = [&progress](std::size_t i, std::size_t n, const std::string& name) {
    progress.SetProgressText(
        base::Utf8ToCp932(base::Format("%zu/%zu ", i + 1, n) + name + " を計画しています"));
  };
  QTimer sampler;
  sampler.setInterval(20);
  connect(&sampler, &QTimer::timeout, this, [&] {
    sampled.Sample(from);
    if (on_running) on_running();
  });
  sampler.start();
  running_ = true;
  stop_run_ = [&sampled] { sampled.Stop(); };
  Lock(true);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QEventLoop loop;
  session::Nest result;
  std::thread worker([&] {
    result = session::BuildNest(o);
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  sampler.stop();
  progress.Flush();
  QApplication::restoreOverrideCursor();
  nest_ = std::move(result);
  planned_ = true;
  running_ = false;
  stop_run_ = nullptr;
  Lock(false);
  Fill();
  const auto planned = std::count_if(nest_.groups.begin(), nest_.groups.end(),
                                     [](const session::NestGroup& g) { return g.Planned(); });
  progress_->setText(QStringLiteral("%1 鋼材のうち %2 鋼材を計画しました。")
                         .arg(nest_.groups.size())
                         .arg(planned));
  if (close_after_run_) {
    close_after_run_ = false;
    QTimer::singleShot(0, this, [this] { reject(); });
  }
}

void NestDialog::Fill() {
  groups_->setRowCount(static_cast<int>(nest_.groups.size()));
  for (std::size_t k = 0; k < nest_.groups.size(); ++k) {
    const session::NestGroup& g = nest_.groups[k];
    QString members;
    for (const std::size_t j : g.jobs)
      members += (members.isEmpty() ? QString() : QStringLiteral("、")) +
                 (nest_.jobs[j].member.empty() ? QFileInfo(U(nest_.jobs[j].file)).fileName()
                                               : U(nest_.jobs[j].member));
    const QString cells[] = {U(g.name), members, QString::number(g.pieces),
                             QString::number(g.lengths), StatusText(g, planned_)};
    const int row = static_cast<int>(k);
    for (int c = 0; c < 5; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (!g.message.empty()) item->setToolTip(U(g.message));
      groups_->setItem(row, c, item);
    }
  }
  // What the table cannot hold: jobs left out, why groups were refused or not planned, notes.
  QStringList lines;
  for (const session::NestJob& j : nest_.jobs)
    if (j.unreadable) lines << QStringLiteral("読めない仕事（外しました）：") + U(j.message);
  if (!nest_.yard_error) lines << U(nest_.yard_error.message);
  for (const session::NestGroup& g : nest_.groups)
    if (!g.message.empty() && (g.refused || planned_)) lines << U(g.message);
  for (const std::string& n : nest_.notes) lines << U(n);
  if (committed_) lines << QStringLiteral("在庫に確定しました。");
  notes_->setText(lines.join(QLatin1Char('\n')));
  if (!planned_) progress_->clear();
  if (groups_->rowCount() > 0 && groups_->currentRow() < 0) groups_->selectRow(0);
  UpdateButtons();
}

void NestDialog::Lock(bool lock) {
  if (lock) {
    locked_.clear();
    for (QWidget* w : findChildren<QWidget*>()) {
      if (qobject_cast<QLabel*>(w) != nullptr || !w->isEnabled()) continue;
      w->setEnabled(false);
      locked_.push_back(w);
    }
  } else {
    for (QWidget* w : locked_) w->setEnabled(true);
    locked_.clear();
    UpdateButtons();
  }
}

void NestDialog::UpdateButtons() {
  if (running_) return;
  const int row = groups_->currentRow();
  const bool current_planned = planned_ && row >= 0 &&
                               row < static_cast<int>(nest_.groups.size()) &&
                               nest_.groups[static_cast<std::size_t>(row)].Planned();
  plan_->setEnabled(!paths_.isEmpty());
  preview_button_->setEnabled(current_planned);
  commit_->setEnabled(planned_ && !committed_ && from_yard_->isChecked() && !nest_.groups.empty());
}

void NestDialog::OpenPreview() {
  const int row = groups_->currentRow();
  if (running_ || !planned_ || row < 0 || row >= static_cast<int>(nest_.groups.size())) return;
  const session::NestGroup& g = nest_.groups[static_cast<std::size_t>(row)];
  if (!g.Planned()) return;
  if (before_preview) before_preview();
  preview_ = std::make_unique<PreviewWindow>(*g.run.records, this);
  preview_->jobs = session::GroupMembers(nest_, g);
  preview_->SetCaption(U(g.name) + QStringLiteral(" - まとめて計画"));
  preview_->Rebuild();
}

void NestDialog::Commit() {
  if (running_ || !planned_) return;
  if (committed_) {
    ShowMessageText(base::Lit("[#×]この計画はもう在庫に確定しています。"));
    return;
  }
  QStringList names;
  for (const session::NestGroup& g : nest_.groups) names << U(g.name);
  if (!ask(QStringLiteral("%1 鋼材（%2）の計画を在庫に確定します。よろしいですか？")
               .arg(nest_.groups.size())
               .arg(names.join(QStringLiteral("、")))))
    return;
  int64_t entry = 0;
  if (base::Error e = session::CommitNest(nest_, job::ReadYardKeep(), entry); !e) {
    ShowMessageText(base::Utf8ToCp932("[#×]在庫に確定できませんでした。\n" + e.message));
    return;
  }
  committed_ = true;
  Fill();
}

void NestDialog::reject() {
  if (running_) {  // the groups' searches end first; the dialog closes after them
    close_after_run_ = true;
    if (stop_run_) stop_run_();
    return;
  }
  QDialog::reject();
}

}  // namespace zarvel::app
