#include "app/yard_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/main_window.h"
#include "app/message.h"
#include "app/qt_text.h"
#include "base/cell_text.h"
#include "base/format.h"
#include "base/numbers.h"
#include "job/settings.h"
#include "yard/history.h"
#include "yard/pg_store.h"

namespace zarvel::app {
namespace {

// A window of its own opens beside the main window (to its right, else to its left, else over
// it), on the screen the main window is on; never at the screen's corner.
void PlaceBeside(QWidget& window, const QWidget& main) {
  const QScreen* screen = main.screen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QRect frame = main.frameGeometry();
  const QSize size = window.frameGeometry().size().expandedTo(window.sizeHint());
  QPoint at(frame.right() + 8, frame.top());
  if (at.x() + size.width() > area.right()) at.setX(frame.left() - 8 - size.width());
  if (at.x() < area.left()) at = frame.center() - QPoint(size.width() / 2, size.height() / 2);
  at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - size.width())));
  at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - size.height())));
  window.move(at);
}

QString U(const std::string& utf8) {
  return QString::fromUtf8(utf8);
}

// A message in the program's dialog: UTF-8, with the red cross for a refusal.
void Tell(const std::string& utf8, bool refused = true) {
  ShowMessageText((refused ? base::Lit("[#×]") : std::string()) + base::Utf8ToCp932(utf8));
}

// A wait for a busy yard file or a slow server: the wait cursor and a line with a button to stop
// waiting, from the first wait step until the call returns.
class BusyWait {
 public:
  bool Begin(const std::string& what) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    dialog_ = std::make_unique<QProgressDialog>(U(what), QStringLiteral("待つのをやめる"), 0, 0,
                                                QApplication::activeWindow());
    dialog_->setWindowTitle(QStringLiteral("在庫"));
    dialog_->setMinimumDuration(0);
    dialog_->show();
    return Step();
  }
  bool Step() {
    QCoreApplication::processEvents();
    return dialog_ == nullptr || !dialog_->wasCanceled();
  }
  void End() {
    if (dialog_ == nullptr) return;
    dialog_.reset();
    QApplication::restoreOverrideCursor();
  }
  ~BusyWait() { End(); }

 private:
  std::unique_ptr<QProgressDialog> dialog_;
};

// How the window opens a yard: a busy file or a slow server shows a wait the user can stop.
yard::OpenOptions WindowWaits() {
  auto wait = std::make_shared<BusyWait>();
  yard::OpenOptions options;
  options.waiting = [wait](const std::string& what) { return wait->Begin(what); };
  options.keep_waiting = [wait] { return wait->Step(); };
  options.waited = [wait] { wait->End(); };
  return options;
}

std::unique_ptr<yard::Yard> OpenTheYard(std::string* place = nullptr) {
  std::unique_ptr<yard::Yard> y;
  if (const base::Error e = session::OpenYardAt({}, y, place, WindowWaits()); !e) Tell(e.message);
  return y;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
  for (int c = 0; c < cells.size(); ++c) {
    auto* item = new QTableWidgetItem(cells[c]);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    table->setItem(row, c, item);
  }
}

std::optional<yard::NewItem> AskNewItem(QWidget* parent) {
  QDialog d(parent);
  d.setWindowTitle(QStringLiteral("在庫に追加"));
  auto* form = new QFormLayout(&d);
  auto* section = new QLineEdit(&d);
  auto* length = new QSpinBox(&d);
  length->setRange(yard::kMinLength, yard::kMaxLength);
  length->setValue(6000);
  auto* count = new QSpinBox(&d);
  count->setRange(1, static_cast<int>(yard::kMaxCount));
  auto* offcut = new QCheckBox(QStringLiteral("端材（実測の長さ）"), &d);
  auto* location = new QLineEdit(&d);
  auto* lot = new QLineEdit(&d);
  form->addRow(QStringLiteral("鋼材名"), section);
  form->addRow(QStringLiteral("長さ (mm)"), length);
  form->addRow(QStringLiteral("本数"), count);
  form->addRow(QString(), offcut);
  form->addRow(QStringLiteral("置場"), location);
  form->addRow(QStringLiteral("ロット"), lot);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
  form->addRow(buttons);
  if (d.exec() != QDialog::Accepted) return std::nullopt;
  yard::NewItem n;
  n.section = section->text().toStdString();
  n.length = length->value();
  n.count = count->value();
  n.offcut = offcut->isChecked();
  n.location = location->text().toStdString();
  n.lot = lot->text().toStdString();
  n.source = "購入";
  return n;
}

}  // namespace

YardWindow::YardWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("在庫"));
  resize(860, 560);
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("鋼材名"), this));
  filter_ = new QLineEdit(this);
  filter_->setPlaceholderText(QStringLiteral("空欄で全部"));
  top->addWidget(filter_, 1);
  auto* add = new QPushButton(QStringLiteral("追加…"), this);
  auto* take = new QPushButton(QStringLiteral("取り出し…"), this);
  auto* place = new QPushButton(QStringLiteral("置場・ロット…"), this);
  auto* undo = new QPushButton(QStringLiteral("記録の取り消し…"), this);
  for (QPushButton* b : {add, take, place, undo}) top->addWidget(b);
  layout->addLayout(top);
  items_ = new QTableWidget(0, 8, this);
  items_->setHorizontalHeaderLabels({QStringLiteral("ID"), QStringLiteral("鋼材名"),
                                     QStringLiteral("長さ"), QStringLiteral("本数"),
                                     QStringLiteral("種別"), QStringLiteral("置場"),
                                     QStringLiteral("ロット"), QStringLiteral("由来")});
  items_->setSelectionBehavior(QAbstractItemView::SelectRows);
  items_->setSelectionMode(QAbstractItemView::SingleSelection);
  items_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(items_, 3);
  layout->addWidget(new QLabel(QStringLiteral("履歴"), this));
  ledger_ = new QTableWidget(0, 5, this);
  ledger_->setHorizontalHeaderLabels({QStringLiteral("記録"), QStringLiteral("日時"),
                                      QStringLiteral("理由"), QStringLiteral("仕事"),
                                      QStringLiteral("動いた材")});
  ledger_->setSelectionBehavior(QAbstractItemView::SelectRows);
  ledger_->setSelectionMode(QAbstractItemView::SingleSelection);
  ledger_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(ledger_, 2);
  connect(filter_, &QLineEdit::textChanged, this, [this] { Refresh(); });
  connect(add, &QPushButton::clicked, this, [this] { AddItem(); });
  connect(take, &QPushButton::clicked, this, [this] { TakeSelected(); });
  connect(place, &QPushButton::clicked, this, [this] { EditPlace(); });
  connect(undo, &QPushButton::clicked, this, [this] { UndoSelected(); });
  ask_undo = [this](const QString& summary) {
    return QMessageBox::question(this, QStringLiteral("記録の取り消し"), summary) ==
           QMessageBox::Yes;
  };
  ask_new_item = [this] { return AskNewItem(this); };
  ask_take = [this](const yard::Item& item) -> std::optional<int64_t> {
    bool ok = false;
    const int n = QInputDialog::getInt(
        this, QStringLiteral("取り出し"),
        QStringLiteral("ID %1 (%2 mm) から取り出す本数").arg(item.id).arg(item.length), 1, 1,
        static_cast<int>(std::min<int64_t>(item.count, yard::kMaxCount)), 1, &ok);
    return ok ? std::optional<int64_t>(n) : std::nullopt;
  };
  ask_place = [this](const yard::Item& item) -> std::optional<std::pair<std::string, std::string>> {
    bool ok = false;
    const QString location =
        QInputDialog::getText(this, QStringLiteral("置場"), QStringLiteral("置場"),
                              QLineEdit::Normal, U(item.location), &ok);
    if (!ok) return std::nullopt;
    const QString lot = QInputDialog::getText(this, QStringLiteral("ロット"),
                                              QStringLiteral("ロット・チャージ番号"),
                                              QLineEdit::Normal, U(item.lot), &ok);
    if (!ok) return std::nullopt;
    return std::make_pair(location.toStdString(), lot.toStdString());
  };
}

std::unique_ptr<yard::Yard> YardWindow::Open() {
  return OpenTheYard();
}

void YardWindow::Refresh() {
  items_->setRowCount(0);
  ledger_->setRowCount(0);
  shown_.clear();
  const auto y = Open();
  if (!y) return;
  std::vector<yard::Item> all;
  if (yard::Status s = y->List("", all); !s) return Tell(s.message);
  // The filter matches a section named in any spelling, or a part of its name.
  const std::string wanted = filter_->text().trimmed().toStdString();
  const std::string canonical = wanted.empty() ? std::string() : yard::CanonicalSection(wanted);
  for (const yard::Item& i : all)
    if (wanted.empty() || i.section == canonical || i.section.find(wanted) != std::string::npos)
      shown_.push_back(i);
  items_->setRowCount(static_cast<int>(shown_.size()));
  for (std::size_t r = 0; r < shown_.size(); ++r) {
    const yard::Item& i = shown_[r];
    SetRow(items_, static_cast<int>(r),
           {QString::number(i.id), U(i.section), QString::number(i.length),
            QString::number(i.count), i.offcut ? QStringLiteral("端材") : QStringLiteral("定尺"),
            U(i.location), U(i.lot), U(i.source)});
  }
  std::vector<yard::Entry> entries;
  if (yard::Status s = y->History(entries); !s) return Tell(s.message);
  entries_.assign(entries.rbegin(), entries.rend());  // the newest first
  ledger_->setRowCount(static_cast<int>(entries_.size()));
  for (std::size_t r = 0; r < entries_.size(); ++r) {
    const yard::Entry& e = entries_[r];
    std::string moves;
    for (const yard::Move& m : e.moves)
      moves += (moves.empty() ? "" : "\n") + yard::MoveText(*y, m);
    SetRow(ledger_, static_cast<int>(r),
           {QString::number(e.id), U(yard::LocalTimeText(e.time)),
            U(yard::ReasonText(e.reason) + yard::UndoesText(entries, e)), U(e.job), U(moves)});
  }
  ledger_->resizeRowsToContents();
  items_->resizeColumnsToContents();
  ledger_->resizeColumnsToContents();
}

std::optional<yard::Item> YardWindow::Selected() const {
  const int row = items_->currentRow();
  if (row < 0 || row >= static_cast<int>(shown_.size())) {
    Tell("在庫の行を選んで下さい。");
    return std::nullopt;
  }
  return shown_[static_cast<std::size_t>(row)];
}

void YardWindow::AddItem() {
  const std::optional<yard::NewItem> n = ask_new_item();
  if (!n) return;
  const auto y = Open();
  if (!y) return;
  int64_t entry = 0;
  if (const base::Error e = session::AddBars(*y, *n, entry); !e) return Tell(e.message);
  Refresh();
}

void YardWindow::TakeSelected() {
  const std::optional<yard::Item> item = Selected();
  if (!item) return;
  const std::optional<int64_t> count = ask_take(*item);
  if (!count) return;
  const auto y = Open();
  if (!y) return;
  int64_t entry = 0;
  if (const base::Error e = session::TakeBars(*y, item->id, *count, entry); !e)
    return Tell(e.message);
  Refresh();
}

void YardWindow::EditPlace() {
  const std::optional<yard::Item> item = Selected();
  if (!item) return;
  const auto place = ask_place(*item);
  if (!place) return;
  const auto y = Open();
  if (!y) return;
  if (const base::Error e = session::SetPlace(*y, item->id, place->first, place->second); !e)
    return Tell(e.message);
  Refresh();
}

void YardWindow::UndoSelected() {
  const int row = ledger_->currentRow();
  if (row < 0 || row >= static_cast<int>(entries_.size())) return Tell("履歴の行を選んで下さい。");
  const yard::Entry& e = entries_[static_cast<std::size_t>(row)];
  const auto y = Open();
  if (!y) return;
  std::string back = base::Format(
      "記録 %lld（%s %s）を取り消すと、次のように戻ります:", static_cast<long long>(e.id),
      yard::LocalTimeText(e.time).c_str(), yard::ReasonText(e.reason).c_str());
  for (const yard::Move& m : e.moves) back += "\n  " + yard::MoveText(*y, {m.item, -m.delta});
  if (!ask_undo(U(back + "\n\n取り消しますか？"))) return;
  int64_t undo = 0;
  if (const base::Error e2 = session::UndoCommit(*y, e.id, nullptr, undo); !e2)
    return Tell(e2.message);
  if (on_undone) on_undone(e.id);
  Refresh();
}

namespace {

// Tries the place: the yard opened and its sections counted, or why not (UTF-8).
std::string TryPlace(const std::string& place, bool& ok) {
  std::unique_ptr<yard::Yard> y;
  if (const base::Error e = session::OpenYardAt(place, y, nullptr, WindowWaits()); !e) {
    ok = false;
    return e.message;
  }
  std::vector<std::string> sections;
  y->Sections(sections);
  ok = true;
  return base::Format("接続できました（%s、鋼材 %zu 種類）。", yard::ShownPlace(place).c_str(),
                      sections.size());
}

// The dialog: a file or a server's URI, with a connection test.
std::optional<std::string> AskPlace(QWidget* parent, const std::string& current) {
  QDialog d(parent);
  d.setWindowTitle(QStringLiteral("在庫の場所"));
  auto* layout = new QVBoxLayout(&d);
  auto* file = new QRadioButton(QStringLiteral("この PC の在庫ファイル"), &d);
  auto* server =
      new QRadioButton(QStringLiteral("在庫サーバー（PostgreSQL、複数の PC で共有）"), &d);
  auto* place = new QLineEdit(QString::fromStdString(current), &d);
  place->setMinimumWidth(520);
  auto* hint = new QLabel(&d);
  hint->setWordWrap(true);
  auto* result = new QLabel(&d);
  result->setWordWrap(true);
  const bool is_server = yard::IsServerPlace(current);
  (is_server ? server : file)->setChecked(true);
  auto show_hint = [=] {
    hint->setText(server->isChecked()
                      ? QStringLiteral("例: postgresql://kobo@nas:5432/zaiko（パスワードは書かずに "
                                       "~/.pgpass に書きます）")
                      : QStringLiteral("空のときは決まった場所（~/.local/share/VADAVAVUR/Zarvel5/"
                                       "yard.sqlite）"));
  };
  show_hint();
  QObject::connect(server, &QRadioButton::toggled, &d, show_hint);
  auto* test = new QPushButton(QStringLiteral("接続テスト"), &d);
  QObject::connect(test, &QPushButton::clicked, &d, [=] {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool ok = false;
    const std::string said = TryPlace(place->text().trimmed().toStdString(), ok);
    QApplication::restoreOverrideCursor();
    result->setText(QString::fromStdString(said));
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
  for (QWidget* w :
       std::initializer_list<QWidget*>{file, server, place, hint, test, result, buttons})
    layout->addWidget(w);
  if (d.exec() != QDialog::Accepted) return std::nullopt;
  return place->text().trimmed().toStdString();
}

}  // namespace

YardLink::YardLink(MainWindow& window, optimiser::OptimiserRecords& records)
    : QObject(&window), main_(window), records_(records) {
  QWidget* panel = window.Grid1()->parentWidget();
  fill_button_ = new QPushButton(QStringLiteral("在庫から"), panel);
  fill_button_->setGeometry(124, 74, 64, 24);
  fill_button_->setFocusPolicy(Qt::NoFocus);
  fill_button_->show();
  connect(fill_button_, &QPushButton::clicked, this, [this] { FillFromYard(); });
  // Stock cells whose length has measured offcuts carry a corner mark and say how many.
  window.Grid1()->cell_marked = [this](int col, int row) { return MeasuredBars(col, row) > 0; };
  window.Grid1()->cell_hint = [this](int col, int row) {
    const long long bars = MeasuredBars(col, row);
    return bars == 0
               ? QString()
               : QStringLiteral("在庫の端材（実測）%1 本：素材の余裕なしで計算します").arg(bars);
  };
  // A cleared stock list is typed by hand again.
  connect(window.ClearStockButton(), &QPushButton::clicked, this, [this] {
    main_.yard_stock = {};
    fill_ = {};
  });
  main_.current_yard_fill = [this]() -> const session::YardFill* { return &fill_; };
  QMenu* menu = window.menuBar()->addMenu(QStringLiteral("在庫"));
  menu->addAction(QStringLiteral("在庫一覧…"), this, [this] {
    const bool first = !window_;
    if (first) {
      window_ = std::make_unique<YardWindow>(&main_);
      // An entry undone there is the plan's commit undone here too.
      window_->on_undone = [this](int64_t entry) {
        if (main_.Plan().committed == entry) main_.Plan().committed = 0;
        if (last_commit_ == entry) last_commit_ = 0;
      };
    }
    window_->Refresh();
    if (first) PlaceBeside(*window_, main_);
    window_->show();
    window_->raise();
  });
  menu->addAction(QStringLiteral("在庫から素材リストへ"), this, [this] { FillFromYard(); });
  menu->addSeparator();
  commit_ =
      menu->addAction(QStringLiteral("計画を確定（在庫を更新）"), this, [this] { CommitPlan(); });
  undo_ = menu->addAction(QStringLiteral("確定の取り消し"), this, [this] { UndoLastCommit(); });
  // Offered only for a plan not committed yet, and for the last commit.
  connect(menu, &QMenu::aboutToShow, this, [this] { UpdateActions(); });
  menu->addSeparator();
  menu->addAction(QStringLiteral("点検・修復…"), this, [this] { CheckAndRepair(); });
  // Below the items users know by place.
  menu->addAction(QStringLiteral("在庫の場所…"), this, [this] { ChoosePlace(); });
  ask_commit = [this](const QString& summary) {
    return QMessageBox::question(&main_, QStringLiteral("在庫の更新"),
                                 QStringLiteral("計画を確定（在庫を更新）\n\n") + summary +
                                     QStringLiteral("\n\n在庫を更新しますか？")) ==
           QMessageBox::Yes;
  };
  ask_repair = [this](const QString& summary) {
    return QMessageBox::question(&main_, QStringLiteral("在庫の点検"), summary) == QMessageBox::Yes;
  };
  ask_place = [this](const std::string& current) { return AskPlace(&main_, current); };
  ask_replace = [this] {
    return QMessageBox::question(&main_, QStringLiteral("在庫から"),
                                 QStringLiteral("素材リストに入力した素材を、在庫の素材に置き換え"
                                                "ますか？")) == QMessageBox::Yes;
  };
}

YardLink::~YardLink() {
  main_.current_yard_fill = nullptr;
}

void YardLink::ChoosePlace() {
  if (main_.Running()) return;
  const std::optional<std::string> chosen = ask_place(job::ReadYardPlace());
  if (!chosen) return;
  if (job::HoldsPassword(*chosen))
    return Tell(
        "パスワードは在庫の場所に書けません。~/.pgpass か環境変数 PGPASSWORD に書いて下さい。");
  bool ok = false;
  const std::string said = TryPlace(chosen->empty() ? yard::YardPath({}) : *chosen, ok);
  if (!ok) return Tell(said);
  if (!job::WriteYardPlace(*chosen)) return Tell("在庫の場所を設定ファイルに書けません。");
  fill_ = {};  // a fill from the yard before belongs to that yard
  Tell(said, false);
  if (window_ && window_->isVisible()) window_->Refresh();
}

void YardLink::UpdateActions() {
  const session::PlanState& plan = main_.Plan();
  commit_->setEnabled(!main_.Running() && plan.planned && plan.committed == 0);
  undo_->setEnabled(!main_.Running() && last_commit_ != 0);
}

long long YardLink::MeasuredBars(int col, int row) const {
  const int32_t length = base::ParseCellText(main_.Grid1()->Cell(col, row)).length;
  for (const optimiser::MeasuredBars& m : main_.yard_stock.measured)
    if (m.length == length && length > 1) {
      const long long cell = base::ParseCellText(main_.Grid1()->Cell(col, row)).count;
      return std::min(m.bars, cell);
    }
  return 0;
}

void YardLink::FillFromYard() {
  if (main_.Running()) return;
  const std::string member =
      base::Cp932ToUtf8(base::TrimBlanks(main_.Edit(run::JobField::kMemberName)->Text()));
  if (yard::CanonicalSection(member).empty()) return Tell("部材名に鋼材名を入れて下さい。");
  // A stock list typed by hand is replaced only when the user says so.
  bool typed = false;
  const run::Grid& stock = *main_.Grid1();
  for (int r = 1; r < stock.RowCount() && !typed; ++r)
    for (int c = 1; c < stock.ColCount() && !typed; ++c)
      typed = base::ParseCellText(stock.Cell(c, r)).length > 1;
  if (typed && main_.yard_stock.Empty() && !ask_replace()) return;
  std::string place;
  const auto y = OpenTheYard(&place);
  if (!y) return;
  session::YardFill filled;
  if (const base::Error e = session::FillStock(*y, place, member, main_, main_.yard_stock, filled);
      !e)
    return Tell(e.message);
  fill_ = std::move(filled);
  main_.RelayoutGrids();
  main_.JobChanged();
  if (!fill_.note.empty()) Tell(fill_.note, false);
}

void YardLink::CommitPlan() {
  if (main_.Running()) return;
  const auto y = OpenTheYard();
  if (!y) return;
  session::CommitRequest request;
  request.job_path = QFileInfo(main_.CurrentFile()).fileName().toStdString();
  request.keep = job::ReadYardKeep();
  session::PreparedCommit commit;
  if (const base::Error e = session::PrepareCommit(*y, records_, main_.Plan(), main_,
                                                   main_.yard_stock, request, commit);
      !e)
    return Tell(e.message);
  if (!ask_commit(U(commit.summary))) return;
  int64_t entry = 0;
  if (const base::Error e = session::ApplyCommit(*y, main_.Plan(), commit, entry); !e)
    return Tell(e.message);
  last_commit_ = entry;
  Tell(base::Format("在庫を更新しました（記録 %lld）。", static_cast<long long>(entry)), false);
  if (window_ && window_->isVisible()) window_->Refresh();
}

void YardLink::CheckAndRepair() {
  const auto y = OpenTheYard();
  if (!y) return;
  std::vector<yard::Mismatch> mismatches;
  if (yard::Status s = y->Check(mismatches); !s && s.code != yard::Status::Code::kMismatch)
    return Tell(s.message);
  if (mismatches.empty()) return Tell("在庫の本数はすべて記録と合っています。", false);
  if (!ask_repair(U(yard::RepairText(*y, mismatches) +
                    "\n今の本数を正しいものとして、記録を直しますか？\n"
                    "（本数のほうが違うときは「いいえ」を選び、zarvel5 yard restore で"
                    "控えから戻して下さい。）")))
    return;
  int64_t entry = 0;
  if (const base::Error e = session::RepairYard(*y, mismatches, entry); !e) return Tell(e.message);
  Tell(base::Format("記録を直しました（記録 %lld）。", static_cast<long long>(entry)), false);
  if (window_ && window_->isVisible()) window_->Refresh();
}

void YardLink::UndoLastCommit() {
  if (main_.Running()) return;
  if (last_commit_ == 0) return Tell("取り消す確定がありません。");
  const auto y = OpenTheYard();
  if (!y) return;
  int64_t undo = 0;
  if (const base::Error e = session::UndoCommit(*y, last_commit_, &main_.Plan(), undo); !e)
    return Tell(e.message);
  Tell(base::Format("記録 %lld を取り消しました（記録 %lld）。",
                    static_cast<long long>(last_commit_), static_cast<long long>(undo)),
       false);
  last_commit_ = 0;
  if (window_ && window_->isVisible()) window_->Refresh();
}

}  // namespace zarvel::app
