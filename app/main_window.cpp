#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeySequence>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QStandardPaths>
#include <QTreeView>
#include <QUrl>
#include <atomic>
#include <mutex>
#include <thread>

#include "app/history.h"
#include "app/import_dialog.h"
#include "app/job_guard.h"
#include "app/message.h"
#include "app/nest_dialog.h"
#include "app/preview.h"
#include "app/qt_text.h"
#include "app/search_thread.h"
#include "app/section_assist.h"
#include "base/app_info.h"
#include "base/cell_text.h"
#include "base/format.h"
#include "base/numbers.h"
#include "job/cut_csv.h"
#include "job/grid_entry.h"
#include "job/job_file.h"
#include "job/job_form.h"
#include "job/piece_marks.h"
#include "job/safe_file.h"
#include "job/settings.h"
#include "report/plan_csv.h"
#include "run/cell_check.h"

namespace zarvel::app {
namespace {

using job::JobControl;
using run::JobField;

constexpr int kClientWidth = 1264;
constexpr int kClientHeight = 632;
constexpr int kTopPanelHeight = 24;
const QColor kBackground(175, 202, 250);
const QColor kPanel(202, 255, 228);
const QString kNoResult = QStringLiteral("・・・・・");

QFont Face(const char* family, int pixels, bool bold = false) {
  QFont f(QString::fromLatin1(family));
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int pixels = 14) {
  auto* l = new QLabel(text, parent);
  l->setFont(Face("IPAexGothic", pixels));
  l->adjustSize();
  l->move(x, y);
  return l;
}

CellGrid* NewGrid(JobControl control, QWidget* parent) {
  const job::ControlEntry& entry = job::Entry(control);
  return new CellGrid(QString::fromLatin1(entry.key), entry.cols, entry.rows, parent);
}

// Run messages go to the window's message dialog.
class DialogMessages final : public run::MessageSink {
 public:
  void ShowMessageText(const std::string& text) override { app::ShowMessageText(text); }
};

// Messages of the search's thread, shown in order once it is over.
class KeptMessages final : public run::MessageSink {
 public:
  void ShowMessageText(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

// The preview as the run command sees it.
class PreviewAdapter final : public run::PreviewOpener {
 public:
  explicit PreviewAdapter(PreviewWindow* preview) : preview_(preview) {}
  void ClosePreview() override { preview_->hide(); }
  void OpenPreview(const std::string& caption) override {
    preview_->SetCaption(Qs(caption));
    preview_->Rebuild();
  }

 private:
  PreviewWindow* preview_;
};

QString WithJobExtension(const QString& path) {
  return QString::fromStdString(job::WithJobExtension(path.toStdString()));
}

// The file dialogs' size and date columns in Japanese ("KiB" and "7 Dec" come from the
// system's locale otherwise).
class JapaneseFileColumns final : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || files == nullptr) return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    if (index.column() == kSizeColumn && !files->isDir(source))
      return SizeText(files->size(source));
    if (index.column() == kDateColumn)
      return files->lastModified(source).toString(QStringLiteral("yyyy/MM/dd HH:mm"));
    return QIdentityProxyModel::data(index, role);
  }

 private:
  static constexpr int kSizeColumn = 1;
  static constexpr int kDateColumn = 3;
  static QString SizeText(qint64 bytes) {
    if (bytes < 1024) return QStringLiteral("%1 バイト").arg(bytes);
    if (bytes < 1024 * 1024) return QStringLiteral("%1 KB").arg(bytes / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
  }
};

// Shows Qt's own file dialog (so that the size, the columns and their texts are ours to set),
// wide enough to read its columns; the files chosen, none when cancelled.
QStringList RunFileDialog(QFileDialog& dialog) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setProxyModel(new JapaneseFileColumns(&dialog));
  dialog.setViewMode(QFileDialog::Detail);
  dialog.resize(std::max(dialog.width(), 1040), std::max(dialog.height(), 600));
  if (auto* view = dialog.findChild<QTreeView*>()) {  // name, size, type, date
    QHeaderView* header = view->header();
    const int widths[] = {400, 110, 170, 190};
    for (int i = 0; i < 4 && i < header->count(); ++i) header->resizeSection(i, widths[i]);
  }
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

// A file dialog wide enough to read its columns. Opening a job takes any name typed (the
// caller gives it its extension and says when there is no such job); the CSV opens only an
// existing file.
QString AskFile(QWidget* parent, QFileDialog::AcceptMode mode, const QString& title,
                const QString& start, const QString& filter, bool existing_only = false,
                bool confirm_overwrite = true) {
  QFileDialog dialog(parent, title, start, filter);
  // A job's name gets its extension after the dialog: the caller asks about the file it names.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirm_overwrite);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(existing_only ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  const QStringList chosen = RunFileDialog(dialog);
  return chosen.isEmpty() ? QString() : chosen.first();
}

// Several existing files, or a folder, in the same dialog.
QStringList AskFiles(QWidget* parent, const QString& title, const QString& filter) {
  QFileDialog dialog(parent, title, QString(), filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  return RunFileDialog(dialog);
}
QString AskFolder(QWidget* parent, const QString& title) {
  QFileDialog dialog(parent, title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  const QStringList chosen = RunFileDialog(dialog);
  return chosen.isEmpty() ? QString() : chosen.first();
}

// Where Save As starts for a job without a file: the documents folder when there is one.
QString DefaultJobFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
  return QDir::homePath();
}

}  // namespace

MainWindow::MainWindow(optimiser::OptimiserRecords& records, QWidget* parent)
    : QMainWindow(parent), records_(records), recent_(job::RecentListPath()) {
  job::EnsureSettingsFolder();
  setWindowTitle(Qs(base::WindowCaption()));
  setAcceptDrops(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, kBackground);
  setPalette(p);
  setFont(Face("IPAGothic", 14));

  auto* central = new QWidget(this);
  central->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(central);
  top_ = new QLabel(central);
  top_->setObjectName(QStringLiteral("PanelTop"));
  top_->setGeometry(0, 0, kClientWidth, kTopPanelHeight);
  top_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  top_->setFont(Face("IPAexGothic", 13));
  read_only_ = new QLabel(QStringLiteral("読み取り専用"), top_);
  read_only_->setFont(Face("IPAexGothic", 13, true));
  read_only_->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0)"));
  read_only_->adjustSize();
  read_only_->move(kClientWidth - read_only_->width() - 8, 4);
  read_only_->hide();
  auto* panel = new QWidget(central);
  panel->setGeometry(0, kTopPanelHeight, kClientWidth, kClientHeight - kTopPanelHeight);
  panel->setAutoFillBackground(true);
  QPalette pp = panel->palette();
  pp.setColor(QPalette::Window, kPanel);
  panel->setPalette(pp);
  BuildControls(panel);
  GuardDateFields();
  BuildMenus();
  setFixedSize(sizeHint());

  // The grids are re-laid out once, shortly after start-up.
  connect(&timer_, &QTimer::timeout, this, [this] { TimerTick(); });
  timer_.start(200);
  // Whatever changed the job, the result label shows soon whether the plan is older than it.
  connect(&freshness_timer_, &QTimer::timeout, this, [this] {
    if (plan_.planned) ShowPlanFreshness();
  });
  freshness_timer_.start(500);
  GridFrameSetup();
}

MainWindow::~MainWindow() = default;

template <class Widget>
Widget* MainWindow::Register(JobControl control, Widget* widget) {
  saved_[static_cast<std::size_t>(control)] = widget;
  widgets_[static_cast<std::size_t>(control)] = widget;
  return widget;
}

NumEdit* MainWindow::AddEdit(QWidget* parent, JobControl control, QRect geometry) {
  const job::ControlEntry& entry = job::Entry(control);
  auto* e = new NumEdit(QString::fromLatin1(entry.key), entry.tag, job::StartText(entry), parent);
  e->setGeometry(geometry);
  e->setFont(Face("IPAGothic", 16));
  e->on_modified = [this] { Modified(); };
  connect(e, &QLineEdit::textChanged, this, [this] {
    if (plan_.planned) ShowPlanFreshness();
  });
  edits_[static_cast<std::size_t>(*entry.field)] = e;
  return Register(control, e);
}

void MainWindow::BuildControls(QWidget* panel) {
  BuildHeading(panel);
  BuildGrids(panel);
  BuildConditions(panel);
  BuildRunArea(panel);
  SetTabOrder();
  ConnectGridButtons();
}

void MainWindow::BuildHeading(QWidget* panel) {
  MakeLabel(panel, QStringLiteral("工 事 名"), 16, 12);
  AddEdit(panel, JobControl::kProjectName, {84, 8, 330, 24});
  MakeLabel(panel, QStringLiteral("部 材 名"), 430, 12);
  NumEdit* bname = AddEdit(panel, JobControl::kMemberName, {498, 8, 330, 24});
  bname->setInputMethodHints(Qt::ImhLatinOnly);  // the input method starts closed here
  MakeLabel(panel, QStringLiteral("単位重量"), 846, 12);
  NumEdit* weight = AddEdit(panel, JobControl::kUnitWeight, {914, 8, 84, 24});
  MakeLabel(panel, QStringLiteral("(Kg/ｍ)"), 1002, 12);
  section_assist_ = new SectionAssist(bname, weight, panel);
  MakeLabel(panel, QStringLiteral("20"), 16, 44);
  AddEdit(panel, JobControl::kYear, {36, 40, 30, 24});
  MakeLabel(panel, QStringLiteral("年"), 70, 44);
  AddEdit(panel, JobControl::kMonth, {90, 40, 30, 24});
  MakeLabel(panel, QStringLiteral("月"), 124, 44);
  AddEdit(panel, JobControl::kDay, {144, 40, 30, 24});
  MakeLabel(panel, QStringLiteral("日"), 178, 44);
  date_label_ = MakeLabel(panel, QString(), 204, 44);
  date_label_->setText(QStringLiteral("(%1)").arg(
      QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")).mid(2)));
  date_label_->adjustSize();
  date_label_->setCursor(Qt::PointingHandCursor);
  date_label_->installEventFilter(this);
}

void MainWindow::BuildGrids(QWidget* panel) {
  stock_caption_ = MakeLabel(panel, QStringLiteral("素材リスト(㎜)"), 16, 78, 15);
  stock_caption_->installEventFilter(this);
  clear_stock_ = new QPushButton(QStringLiteral("[ｸﾘｱ]"), panel);
  clear_stock_->setGeometry(190, 74, 64, 24);
  clear_stock_->setFocusPolicy(Qt::NoFocus);
  stock_grid_ = Register(JobControl::kStockGrid, NewGrid(JobControl::kStockGrid, panel));
  stock_grid_->move(16, 100);

  cut_caption_ = MakeLabel(panel, QStringLiteral("切断リスト(㎜)"), 290, 78, 15);
  cut_caption_->installEventFilter(this);
  clear_cut_ = new QPushButton(QStringLiteral("[ｸﾘｱ]"), panel);
  clear_cut_->setGeometry(464, 74, 64, 24);
  clear_cut_->setFocusPolicy(Qt::NoFocus);
  paste_ = new QPushButton(QStringLiteral("[貼り付け]"), panel);
  paste_->setGeometry(532, 74, 88, 24);
  paste_->setFocusPolicy(Qt::NoFocus);
  MakeLabel(panel, QStringLiteral("[長さ.本数]は<数値><.><数値><Enter>と入力して下さい。"), 630, 80,
            13);
  cut_grid_ = Register(JobControl::kCutGrid, NewGrid(JobControl::kCutGrid, panel));
  cut_grid_->move(290, 100);
  // Resting the mouse on a cut length shows the piece marks of that length.
  cut_grid_->cell_hint = [this](int col, int row) {
    const int32_t length = base::ParseCellText(cut_grid_->Cell(col, row)).length;
    const std::string marks = length > 0 ? job::MarksOfLength(marks_, length) : std::string();
    return marks.empty() ? QString() : QStringLiteral("符号: ") + Qs(marks);
  };
  for (CellGrid* g : {stock_grid_, cut_grid_}) {
    g->vertical_order = [this] { return VerticalOrder(); };
    g->on_modified = [this] { Modified(); };
    g->on_paste = [this, g] { PasteInto(g); };
    // The middle button pastes the X11 selection, as it does into the name fields.
    g->on_paste_selection = [this, g] { PasteInto(g, QClipboard::Selection); };
  }
}

void MainWindow::BuildConditions(QWidget* panel) {
  auto* conditions = new QGroupBox(QStringLiteral("Zarvel条件"), panel);
  conditions->setGeometry(1000, 96, 248, 150);
  conditions->setFont(Face("IPAexGothic", 14));
  MakeLabel(conditions, QStringLiteral("・素材の余裕"), 10, 30);
  AddEdit(conditions, JobControl::kMargin, {120, 26, 50, 24});
  MakeLabel(conditions, QStringLiteral("(㎜)"), 176, 30);
  MakeLabel(conditions, QStringLiteral("・切り代"), 10, 62);
  AddEdit(conditions, JobControl::kKerf, {120, 58, 50, 24});
  MakeLabel(conditions, QStringLiteral("(㎜)"), 176, 62);
  const job::ControlEntry& precision = job::Entry(JobControl::kPrecision);
  precision_ = Register(precision.control,
                        new RadioGroup(QString::fromLatin1(precision.key), QStringLiteral("精度"),
                                       {QStringLiteral("低"), QStringLiteral("中"),
                                        QStringLiteral("高"), QStringLiteral("最適")},
                                       conditions));
  precision_->setGeometry(10, 90, 228, 52);
  precision_->SetItemIndex(precision.value);
  precision_->on_change = [this] {  // re-runs only while the preview is open
    Modified();
    if (policy_note_ != nullptr)
      policy_note_->setVisible(policy.offcuts_first &&
                               PrecisionItem() != optimiser::kPrecisionOptimal);
    if (!loading_ && preview_ != nullptr && preview_->isVisible()) RunClicked(false);
  };

  AddEdit(panel, JobControl::kPriorityLength, {1000, 258, 80, 24});
  MakeLabel(panel, QStringLiteral("㎜未満は優先素材。"), 1086, 262);
  const job::ControlEntry& vertical = job::Entry(JobControl::kVerticalOrder);
  vertical_ = Register(vertical.control,
                       new CheckBox(QString::fromLatin1(vertical.key), QStringLiteral("縦順表示"),
                                    vertical.value != 0, panel));
  vertical_->setGeometry(1000, 292, 160, 24);
  connect(vertical_, &QCheckBox::toggled, this, [this] {
    RelayoutGrids();
    Modified(false);  // the lists are the same, only laid out otherwise
  });
  // The preview's two table switches are saved with the job.
  preview_ = new PreviewWindow(records_, this);
  preview_->job_file = [this] { return CurrentFile(); };
  table_a_ = Register(JobControl::kTableA, preview_->TableA());
  table_b_ = Register(JobControl::kTableB, preview_->TableB());
  Register(JobControl::kTableC, preview_->TableC());
  Register(JobControl::kLabels, preview_->Labels());
  Register(JobControl::kLabelSheet, preview_->LabelSheet());
  Register(JobControl::kSawList, preview_->SawList());
  // Saved with the job: a change of them is a change of the job (not of its plan).
  for (CheckBox* box : {preview_->TableA(), preview_->TableB(), preview_->TableC(),
                        preview_->Labels(), preview_->SawList()})
    connect(box, &QCheckBox::toggled, this, [this] { Modified(false); });
  preview_->on_label_sheet_change = [this] { Modified(false); };
}

void MainWindow::BuildRunArea(QWidget* panel) {
  run_ = new QPushButton(QStringLiteral("Zarvel実行"), panel);
  run_->setGeometry(1000, 330, 248, 52);
  run_->setFont(Face("IPAexGothic", 20, true));
  MakeLabel(panel, QStringLiteral("残材率"), 1000, 398, 16);
  progress_ = new QLabel(kNoResult, panel);
  progress_->setObjectName(QStringLiteral("lbZhiMin"));
  progress_->setGeometry(1000, 420, 248, 60);
  progress_->setFont(Face("IPAGothic", 20, true));
  progress_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  maker_ = MakeLabel(panel, QStringLiteral("VADAVAVUR のホームページ"), 1060, 580, 12);
  maker_->setCursor(Qt::PointingHandCursor);
  maker_->installEventFilter(this);
  connect(run_, &QPushButton::clicked, this, [this] { RunClicked(true); });
  BuildPolicy(panel);
}

void MainWindow::BuildPolicy(QWidget* panel) {
  offcuts_first_ = new QCheckBox(QStringLiteral("端材優先"), panel);
  offcuts_first_->setObjectName(QStringLiteral("CkOffcutsFirst"));
  offcuts_first_->setGeometry(1000, 488, 96, 24);
  offcuts_first_->setToolTip(
      QStringLiteral("最適で、手持ちの端材を先に使い、残す長さ以上の残材を端材として残します"));
  keep_ = new NumEdit(QStringLiteral("edOffcutKeep"), 50, base::Format("%5d", job::ReadYardKeep()),
                      panel);
  keep_->setGeometry(1096, 488, 60, 24);
  keep_->setFont(Face("IPAGothic", 16));
  MakeLabel(panel, QStringLiteral("㎜以上を残す"), 1160, 492);
  policy_note_ =
      MakeLabel(panel, QStringLiteral("※ 端材優先は精度が最適のときだけ使われます"), 1000, 516, 12);
  policy_note_->setStyleSheet(QStringLiteral("color: #b00000"));
  policy_note_->hide();
  connect(offcuts_first_, &QCheckBox::toggled, this, [this] { TakePolicy(); });
  keep_->on_modified = [this] { TakePolicy(); };
  connect(keep_, &QLineEdit::textChanged, this, [this] {
    if (!loading_) TakePolicy();
  });
}

void MainWindow::TakePolicy() {
  const optimiser::RemnantPolicy now{offcuts_first_->isChecked(), base::AtoI(keep_->Text())};
  const bool changed =
      now.offcuts_first != policy.offcuts_first || (now.offcuts_first && now.keep != policy.keep);
  policy = now;
  policy_note_->setVisible(policy.offcuts_first && PrecisionItem() != optimiser::kPrecisionOptimal);
  if (changed && !loading_) Modified();
}

void MainWindow::ShowPolicy() {
  const bool was_loading = loading_;
  loading_ = true;
  const int32_t keep = policy.keep > 0 ? policy.keep : job::ReadYardKeep();
  const bool on = policy.offcuts_first;
  keep_->SetText(base::Format("%5d", keep));
  offcuts_first_->setChecked(on);
  policy = {on, on ? keep : 0};
  policy_note_->setVisible(on && PrecisionItem() != optimiser::kPrecisionOptimal);
  loading_ = was_loading;
}

void MainWindow::GuardDateFields() {
  // A month or a day no calendar has is refused key by key, as a digit beyond a field's width.
  NumEdit* year = Edit(JobField::kYear);
  NumEdit* month = Edit(JobField::kMonth);
  Edit(JobField::kMonth)->accepts = [](const std::string& text) {
    return job::PossibleDate("00", text);
  };
  Edit(JobField::kDay)->accepts = [year, month](const std::string& text) {
    if (job::PossibleDate(year->Text(), month->Text())) {
      return job::PossibleDate(year->Text(), month->Text(), text);
    }
    return job::PossibleDate("00", {}, text);
  };
}

void MainWindow::SetTabOrder() {
  std::vector<QWidget*> order;
  for (const job::ControlEntry& entry : job::kJobControls) {
    if (entry.tab < 0) continue;
    const auto place = static_cast<std::size_t>(entry.tab);
    if (order.size() <= place) order.resize(place + 1);
    order[place] = widgets_[static_cast<std::size_t>(entry.control)];
  }
  for (std::size_t i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

void MainWindow::ConnectGridButtons() {
  connect(clear_stock_, &QPushButton::clicked, this, [this] { ClearGrid(stock_grid_); });
  connect(clear_cut_, &QPushButton::clicked, this, [this] { ClearGrid(cut_grid_); });
  paste_->setToolTip(QStringLiteral("切断リストに貼り付け (Ctrl+V)"));
  connect(paste_, &QPushButton::clicked, this, [this] { PasteInto(cut_grid_); });
}

void MainWindow::EnterFirstFreeCell(CellGrid* grid) {
  const std::vector<job::CellPos> free = job::FreeCells(*grid, VerticalOrder());
  grid->SelectCell(free.empty() ? job::CellPos{1, 1} : free.front());
  grid->setFocus(Qt::OtherFocusReason);
}

void MainWindow::ClearGrid(CellGrid* grid) {
  job::ClearGridCells(*grid);
  Modified();
  EnterFirstFreeCell(grid);
}

void MainWindow::PasteInto(CellGrid* grid, QClipboard::Mode mode) {
  const std::string clip = Cp(QGuiApplication::clipboard()->text(mode));
  grid->Refresh();  // the cell being entered counts as it will be left
  const job::PastePlan plan = job::PlanPaste(*grid, clip, VerticalOrder());
  if (job::ApplyPaste(*grid, plan)) Modified();
  EnterFirstFreeCell(grid);
  const std::string message =
      job::PasteMessage(plan, grid == stock_grid_ ? "素材リスト" : "切断リスト");
  if (!message.empty()) ShowMessageText(message);
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  file->addAction(QStringLiteral("開く(&O)"), QKeySequence::Open, this, [this] { Open(); });
  QMenu* reopen = file->addMenu(QStringLiteral("開き直す"));
  for (int i = 0; i < job::RecentFiles::kItems; ++i) {
    QAction* a = reopen->addAction(QString());
    a->setObjectName(QStringLiteral("smF%1").arg(i));
    a->setVisible(false);
    connect(a, &QAction::triggered, this, [this, i] { Reopen(i); });
    recent_items_[static_cast<std::size_t>(i)] = a;
  }
  recent_work_ = reopen->addSeparator();
  recent_work_->setObjectName(QStringLiteral("smWork1"));
  recent_clear_ =
      reopen->addAction(QStringLiteral("履歴のクリア"), this, [this] { ClearHistory(); });
  recent_clear_->setObjectName(QStringLiteral("smClear"));
  file->addSeparator();
  file->addAction(QStringLiteral("上書き保存(&S)"), QKeySequence::Save, this, [this] { Save(); });
  file->addAction(QStringLiteral("名前を付けて保存(&A)"), this, [this] { SaveAs(); });
  file->addSeparator();
  // Below the items users know by place: 開く, 開き直す and the saves stay where they were.
  file->addAction(QStringLiteral("新規(&N)"), QKeySequence::New, this, [this] { NewJob(); });
  file->addAction(QStringLiteral("切断リスト読み込み…"), this, [this] { ReadCutListCsv(); });
  file->addAction(QStringLiteral("部材データ読み込み…"), this, [this] { ImportParts(); });
  file->addAction(QStringLiteral("まとめて計画…"), this, [this] { NestJobs(); });
  file->addAction(QStringLiteral("CSV出力…"), this, [this] { WritePlanCsv(); });
  file->addSeparator();
  file->addAction(QStringLiteral("終了(&X)"), this, [this] { close(); });
  menuBar()->addAction(QStringLiteral("最新バージョンのチェック"), this,
                       [this] { OpenWebPage(kProductPage); });
  menuBar()->addAction(QStringLiteral("変更履歴"), this, [this] {
    if (history_ != nullptr) history_->ShowHistory();
  });
}

void MainWindow::TimerTick() {
  if (++ticks_ == 2) RelayoutGrids();
}

std::vector<job::SavedControl*> MainWindow::PersistentControls() {
  return {saved_.begin(), saved_.end()};
}

void MainWindow::GridFrameSetup() {
  for (const auto& [control, grid] : {std::pair{JobControl::kStockGrid, stock_grid_},
                                      std::pair{JobControl::kCutGrid, cut_grid_}}) {
    CellGrid* g = grid;
    job::SetUpGridFrame(*g, job::Entry(control).rows, [g](int n) { g->SetRowCount(n); });
  }
}

void MainWindow::RelayoutGrids() {
  run::RelayoutGrids(records_, *this);
}

void MainWindow::AfterLoad() {
  ShowPolicy();
  // Another job's grids are entered from their first cell, not where the last job left them.
  for (CellGrid* grid : {stock_grid_, cut_grid_}) grid->Rewind();
  if (isVisible()) Edit(JobField::kProjectName)->setFocus();
}

std::string MainWindow::Caption() const {
  return base::WindowCaption();
}

const base::Control& MainWindow::Field(JobField field) const {
  return Edit(field)->AsNumber();
}

NumEdit* MainWindow::Edit(JobField field) const {
  return edits_[static_cast<std::size_t>(field)];
}

QString MainWindow::CurrentFile() const {
  return top_->text();
}
void MainWindow::SetCurrentFile(const QString& path) {
  top_->setText(path);
}

std::unique_ptr<QMessageBox> SavePrompt(QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(
      QMessageBox::Warning, Qs(base::ApplicationTitle()),
      QStringLiteral("データが変更されています、保存しますか？"),
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
  box->button(QMessageBox::Yes)->setText(QStringLiteral("はい"));
  box->button(QMessageBox::No)->setText(QStringLiteral("いいえ"));
  box->button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
  box->setDefaultButton(QMessageBox::Yes);
  return box;
}

QMessageBox::StandardButton MainWindow::ConfirmSaveChanges() {
  if (!data_modified_) return QMessageBox::Yes;
  QMessageBox::StandardButton answer;
  if (ask_save_changes) {
    answer = ask_save_changes();
  } else {
    const std::unique_ptr<QMessageBox> box = SavePrompt(this);
    answer = static_cast<QMessageBox::StandardButton>(box->exec());
  }
  if (answer == QMessageBox::Yes) {
    Save();
    // A save that failed or was cancelled keeps the job: the caller must not go on.
    return data_modified_ ? QMessageBox::Cancel : QMessageBox::Yes;
  }
  return answer == QMessageBox::No ? QMessageBox::No : QMessageBox::Cancel;
}

job::FileResult MainWindow::OpenJob(const QString& path, job::JobLoad* load) {
  job::JobLoad own;
  job::JobLoad& l = load != nullptr ? *load : own;
  // A precision read from the file must not re-run the job while it is being loaded.
  loading_ = true;
  const job::FileResult read = job::OpenJobFile(*this, path.toStdString(), &l);
  loading_ = false;
  if (!read) return read;        // nothing changed
  ClearResults();                // the plan belonged to the job before
  run::ForgetTypedTexts(*this);  // ... and so did what its cells were typed as
  // What is in the window is not what is in the file: closing asks to save it whole.
  if (!l.Complete()) Modified();
  return read;
}

void MainWindow::ClearResults() {
  preview_->hide();
  plan_.Clear();
  progress_->setText(kNoResult);
  ShowPlanFreshness();
}

bool MainWindow::OpenAndShow(const QString& path) {
  const JobGuard::Claim claim = guard_.ClaimFor(path, this);
  if (claim == JobGuard::Claim::kCancel) return false;
  job::JobLoad load;
  const job::FileResult read = OpenJob(path, &load);
  if (read) {
    TakeOpenedJob(path, load, claim == JobGuard::Claim::kReadOnly);
    if (load.Noteworthy()) ShowMessageText(job::IncompleteJobMessage(path.toStdString(), load));
  } else {
    guard_.Abandon();
    ShowMessageText(job::CannotReadMessage(path.toStdString(), read.Reason()));
  }
  return read.Ok();
}

void MainWindow::TakeOpenedJob(const QString& path, const job::JobLoad& load, bool read_only) {
  guard_.Opened(path, load.stamp, !load.Complete(), read_only);
  SetCurrentFile(path);
  UpdateRecentFiles(path);
  ShowReadOnly();
}

void MainWindow::ShowReadOnly() {
  read_only_->setVisible(guard_.ReadOnly());
}

void MainWindow::NewJob() {
  if (ConfirmSaveChanges() == QMessageBox::Cancel) return;
  ClearResults();
  job::ApplyFreshJob(*this);
  SetCurrentFile(QString());
  guard_.Release();
  ShowReadOnly();
}

void MainWindow::OpenFromCommandLine(const QString& path) {
  // The path is shown, remembered and reopened later from anywhere: it must not depend on the
  // folder the program was started in.
  OpenAndShow(QFileInfo(path).absoluteFilePath());
}

void MainWindow::ReadCutListCsv() {
  const QString proposed = QFileInfo(CurrentFile()).path();
  const QString path =
      ask_cut_csv_path
          ? ask_cut_csv_path(proposed)
          : AskFile(this, QFileDialog::AcceptOpen, QStringLiteral("切断リストの CSV を開く"),
                    proposed, QStringLiteral("CSV(*.csv *.txt);;すべて(*)"), true);
  if (path.isEmpty()) return;
  LoadCutList(path);
}

void MainWindow::LoadCutList(const QString& path) {
  std::string message;
  if (!job::LoadCutCsvFile(path.toStdString(), *cut_grid_, message, &marks_)) {
    ShowMessageText(message);
    return;
  }
  RelayoutGrids();
  cut_grid_->SelectCell({1, 1});
  Modified();
  if (!message.empty()) ShowMessageText(message);  // the lines it skipped
}

void MainWindow::ImportParts() {
  // Written jobs take their stock and conditions from the window as it stands.
  std::string text;
  for (const std::string& line : job::JobFileLines(*this)) text += line + "\r\n";
  ImportDialog dialog(text, base::Cp932ToUtf8(Edit(JobField::kMemberName)->Text()), this);
  if (on_import_dialog) on_import_dialog(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.Chosen() == nullptr) return;
  const exchange::ImportedJob& chosen = *dialog.Chosen();
  if (dialog.ChangesSection()) {  // the user agreed: the job is now of that section
    Edit(JobField::kMemberName)->SetText(base::Utf8ToCp932(chosen.section));
    Edit(JobField::kUnitWeight)
        ->SetText(chosen.unit_weight > 0 ? base::Format("%8.2f", chosen.unit_weight) : "");
  }
  grade = base::Utf8ToCp932(chosen.grade);
  job::FillGrid(*cut_grid_, chosen.pieces);
  marks_ = chosen.marks;
  RelayoutGrids();
  cut_grid_->SelectCell({1, 1});
  Modified();
}

void MainWindow::NestJobs() {
  NestDialog dialog(this);
  dialog.pick_files = [&dialog] {
    return AskFiles(&dialog, QStringLiteral("まとめて計画する仕事"),
                    QStringLiteral("仕事 (*.zv5 *.ZV5);;すべて (*)"));
  };
  dialog.pick_folder = [&dialog] { return AskFolder(&dialog, QStringLiteral("仕事のフォルダー")); };
  // The report pages are one table: the window's preview shows its job's again after a run.
  dialog.before_preview = [this] { preview_->hide(); };
  if (on_nest_dialog) on_nest_dialog(dialog);
  dialog.exec();
}

void MainWindow::WritePlanCsv() {
  if (!plan_.planned) {
    ShowMessageText(base::Lit(
        "[#×]先に「Zarvel実行」で切断計画を作って下さい。\n$CSV出力はその計画を書き出します。"));
    return;
  }
  if (PlanFreshness() == session::Freshness::kOutdated) {
    ShowMessageText(session::OutdatedPlanMessage("CSV出力"));
    return;
  }
  const QFileInfo job(CurrentFile());
  const QString proposed =
      CurrentFile().isEmpty()
          ? QStringLiteral("切断計画.csv")
          : job.path() + QLatin1Char('/') + job.completeBaseName() + QStringLiteral(".csv");
  QString path = ask_plan_csv_path ? ask_plan_csv_path(proposed)
                                   : AskFile(this, QFileDialog::AcceptSave,
                                             QStringLiteral("切断計画を CSV に書き出す"), proposed,
                                             QStringLiteral("CSV(*.csv)"));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
  const job::FileResult written = job::ReplaceFile(path.toStdString(), report::PlanCsv(records_));
  if (!written) ShowMessageText(job::CannotWriteMessage(path.toStdString(), written.Reason()));
}

void MainWindow::Open() {
  if (ConfirmSaveChanges() == QMessageBox::Cancel) return;
  const QString chosen = ask_open_path
                             ? ask_open_path(CurrentFile())
                             : AskFile(this, QFileDialog::AcceptOpen, QStringLiteral("仕事を開く"),
                                       CurrentFile(), QStringLiteral("Zarvel(*.zv5)"));
  if (!chosen.isEmpty()) OpenAndShow(WithJobExtension(chosen));
  Edit(JobField::kYear)->setFocus();
}

void MainWindow::Save() {
  if (CurrentFile().isEmpty() || guard_.ReadOnly()) {
    SaveAs();
    return;
  }
  const QString path = WithJobExtension(CurrentFile());
  switch (guard_.BeforeSave(path, this)) {
    case JobGuard::SaveChoice::kOverwrite:
      break;
    case JobGuard::SaveChoice::kSaveAs:
      SaveAs();
      return;
    case JobGuard::SaveChoice::kCancel:
      return;
  }
  job::FileStamp stamp;
  if (const job::FileResult saved = job::WriteJobFile(*this, path.toStdString(), &stamp); saved) {
    guard_.Saved(stamp);
    UpdateRecentFiles(path);
  } else {
    ShowMessageText(job::CannotWriteMessage(path.toStdString(), saved.Reason()));
  }
}

void MainWindow::SaveAs() {
  const QString folder =
      CurrentFile().isEmpty() ? DefaultJobFolder() : QFileInfo(CurrentFile()).path();
  const QString proposed =
      folder + QLatin1Char('/') +
      Qs(std::string(base::TrimBlanks(Edit(JobField::kProjectName)->Text())) + base::Lit("：") +
         std::string(base::TrimBlanks(Edit(JobField::kMemberName)->Text())));
  const QString chosen =
      ask_save_path ? ask_save_path(proposed)
                    : AskFile(this, QFileDialog::AcceptSave, QStringLiteral("名前を付けて保存"),
                              proposed, QStringLiteral("Zarvel(*.zv5)"), false, false);
  if (chosen.isEmpty()) return;
  // The suggested name holds points of its own ("H-200×100×5.5×8"): nothing is replaced.
  const QString path = QString::fromStdString(job::SaveName(chosen.toStdString()));
  // The path goes into the recent list and the settings, which are CP932: a name that CP932
  // cannot hold would come back damaged, so it is refused here.
  if (!job::FitsCp932(path.toStdString())) {
    ShowMessageText(job::UnsavableNameMessage(path.toStdString()));
    return;
  }
  const QString own = guard_.ReadOnly() ? QString() : CurrentFile();
  if (!guard_.ClaimForSaveAs(path, own, this)) return;
  // Saving as the job's own file is a save over it: a change made outside is asked about.
  if (!own.isEmpty() && job::SameFile(path.toStdString(), own.toStdString()) &&
      guard_.BeforeSave(path, this) != JobGuard::SaveChoice::kOverwrite)
    return;
  job::FileStamp stamp;
  if (const job::FileResult saved = job::WriteJobFile(*this, path.toStdString(), &stamp); saved) {
    guard_.Opened(path, stamp, false, false);
    SetCurrentFile(path);
    UpdateRecentFiles(path);
    ShowReadOnly();
  } else {
    guard_.Abandon();
    ShowMessageText(job::CannotWriteMessage(path.toStdString(), saved.Reason()));
  }
}

bool MainWindow::GoOnWithCells(const std::vector<std::string>& lines) {
  const std::string question = run::DoubtfulCellsText(lines) +
                               base::Lit("\n\nこのまま実行しますか？ (「いいえ」で入力に戻ります)");
  if (ask_go_on) return ask_go_on(question);
  QMessageBox box(QMessageBox::Question, Qs(base::ApplicationTitle()), Qs(question),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("はい"));
  box.button(QMessageBox::No)->setText(QStringLiteral("いいえ"));
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void MainWindow::RunClicked(bool user_invoked) {
  if (running_) return;
  // Cells that read other than they look are named first; going on runs as ever.
  if (user_invoked) {
    const std::vector<std::string> doubtful = run::DoubtfulCells(*this);
    if (!doubtful.empty() && !GoOnWithCells(doubtful)) return;
  }
  DialogMessages messages;
  platform::QtBusyCursor cursor;
  PreviewAdapter preview(preview_);
  run::RunHost h;
  h.messages = &messages;
  h.keys = keys;
  h.preview = &preview;
  h.version_text = base::VersionText();
  plan_.Clear();
  ShowPlanFreshness();
  const run::RunOutcome ready = run::PrepareRun(records_, *this, h, user_invoked);
  if (ready != run::RunOutcome::kPlanned) {
    if (user_invoked) run::ForgetTypedTexts(*this);
    return;
  }
  // What the plan is made from, as the lists were just read.
  session::PlanBasis basis;
  basis.content = session::JobContent(*this, yard_stock);

  // The search works on a copy of the records, so that nothing the window's thread does can
  // meet it; the copy comes back whole when it is over.
  auto working = std::make_unique<optimiser::OptimiserRecords>(records_);
  const int precision = PrecisionItem();
  SampledKeys sampled;
  if (keys != nullptr) sampled.Sample(*keys);
  PostedProgress progress(progress_);
  platform::QtClock clock;
  KeptMessages kept;
  QTimer sampler;
  sampler.setInterval(20);
  connect(&sampler, &QTimer::timeout, this, [&] {
    if (keys != nullptr) sampled.Sample(*keys);
  });
  sampler.start();
  preview_->keys = keys;
  running_ = true;
  stop_run_ = [&sampled] { sampled.Stop(); };
  LockJobControls(true);
  cursor.BeginBusy();
  QEventLoop loop;
  run::RunOutcome outcome = run::RunOutcome::kInfeasible;
  std::thread worker([&] {
    outcome = run::ComputeRun(*working, precision, {&progress, &sampled, &clock}, &kept);
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  sampler.stop();
  progress.Flush();
  cursor.EndBusy();
  records_ = *working;
  running_ = false;
  stop_run_ = nullptr;
  LockJobControls(false);
  for (const std::string& m : kept.messages) messages.ShowMessageText(m);
  if (outcome == run::RunOutcome::kPlanned) {
    plan_.planned = true;
    plan_.basis = std::move(basis);
    // A job whose stock the yard link just filled: the yard's part of what the plan is made of.
    const session::YardFill* fill = current_yard_fill ? current_yard_fill() : nullptr;
    if (!yard_stock.Empty() && fill != nullptr &&
        fill->fill.section == base::Cp932ToUtf8(yard_stock.section))
      session::NoteYardBasis(plan_, fill);
  }
  run::FinishRun(outcome, h);
  preview_->keys = nullptr;
  if (user_invoked) run::ForgetTypedTexts(*this);
  ShowPlanFreshness();
  if (close_after_run_) {
    close_after_run_ = false;
    QTimer::singleShot(0, this, [this] { close(); });
  }
}

void MainWindow::LockJobControls(bool lock) {
  if (lock) {
    locked_widgets_.clear();
    locked_actions_.clear();
    // Everything that takes input; the labels stay as they are (the progress is one).
    for (QWidget* w : centralWidget()->findChildren<QWidget*>()) {
      // Labels take no input, and the panels holding the progress label keep it readable.
      if (qobject_cast<QLabel*>(w) != nullptr || w->isAncestorOf(progress_) ||
          w->testAttribute(Qt::WA_ForceDisabled))
        continue;
      w->setEnabled(false);
      locked_widgets_.push_back(w);
    }
    for (QAction* a : findChildren<QAction*>()) {
      if (!a->isEnabled()) continue;
      a->setEnabled(false);
      locked_actions_.push_back(a);
    }
    menuBar()->setEnabled(false);
  } else {
    for (QWidget* w : locked_widgets_) w->setEnabled(true);
    for (QAction* a : locked_actions_) a->setEnabled(true);
    menuBar()->setEnabled(true);
    locked_widgets_.clear();
    locked_actions_.clear();
  }
}

session::Freshness MainWindow::PlanFreshness() {
  return session::PlanFreshness(plan_, *this, yard_stock);
}

void MainWindow::ShowPlanFreshness() {
  if (progress_ == nullptr || running_) return;
  const bool outdated = PlanFreshness() == session::Freshness::kOutdated;
  progress_->setEnabled(!outdated);  // greyed, its text kept
  progress_->setToolTip(outdated
                            ? QStringLiteral("この結果は、そのあとに変更された仕事の内容より"
                                             "古いものです。もう一度「Zarvel実行」をして下さい。")
                            : QString());
  if (preview_ != nullptr) preview_->SetOutdated(outdated);
}

void MainWindow::SetToday(const std::string& date) {
  const job::DateParts d = job::SplitDate(date);
  Edit(JobField::kYear)->SetNumEditText(d.year);
  Edit(JobField::kMonth)->SetNumEditText(d.month);
  Edit(JobField::kDay)->SetNumEditText(d.day);
  Modified();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // During a run the job takes no input: neither the date's click nor the sample fill.
  if (running_ &&
      (watched == date_label_ || watched == stock_caption_ || watched == cut_caption_) &&
      (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick))
    return true;
  if (watched == date_label_ && event->type() == QEvent::MouseButtonRelease) {
    SetToday(QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")).toStdString());
    return true;
  }
  if (watched == maker_ && event->type() == QEvent::MouseButtonRelease) {
    OpenWebPage(kMakerPage);
    return true;
  }
  if ((watched == stock_caption_ || watched == cut_caption_) &&
      event->type() == QEvent::MouseButtonDblClick) {
    if (keys != nullptr && keys->IsKeyDown(optimiser::kKeyControl)) {
      if (watched == stock_caption_) {
        job::SampleFill(*stock_grid_, 5000, 500, 99);
      } else {
        job::SampleFill(*cut_grid_, 500, 100, 20);
      }
      Modified();
    }
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (running_) {
    // The run goes on unless the user stops it; the window closes once it has stopped.
    event->ignore();
    const bool stop = ask_stop_run ? ask_stop_run() : [this] {
      QMessageBox box(QMessageBox::Question, QStringLiteral("棒材Zarvel５"),
                      QStringLiteral("計算中です。計算を中止してウィンドウを閉じますか？"),
                      QMessageBox::Yes | QMessageBox::No, this);
      box.button(QMessageBox::Yes)->setText(QStringLiteral("中止して閉じる"));
      box.button(QMessageBox::No)->setText(QStringLiteral("計算を続ける"));
      box.setDefaultButton(QMessageBox::No);
      return box.exec() == QMessageBox::Yes;
    }();
    if (stop && running_ && stop_run_) {
      close_after_run_ = true;
      stop_run_();
    }
    return;
  }
  if (ConfirmSaveChanges() == QMessageBox::Cancel) {
    event->ignore();
    return;
  }
  // The current job (possibly none) is opened again at the next start.
  job::WriteLastFile(CurrentFile().toStdString());
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  DropFiles(event->mimeData()->urls());
}

void MainWindow::DropFiles(const QList<QUrl>& urls) {
  if (urls.isEmpty()) return;
  const QString path = urls.first().toLocalFile();
  const QFileInfo info(path);
  const bool job = info.suffix().compare(QStringLiteral("zv5"), Qt::CaseInsensitive) == 0;
  const bool list = info.suffix().compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0 ||
                    info.suffix().compare(QStringLiteral("txt"), Qt::CaseInsensitive) == 0;
  // A cut list replaces only the cut list: the job stays, and is not offered for saving.
  if (!job && !list) {
    ShowMessageText(DroppedFileMessage(path, info.isFile()));
    return;
  }
  if (job && ConfirmSaveChanges() == QMessageBox::Cancel) return;
  raise();
  activateWindow();
  if (!info.isFile()) {
    ShowMessageText(DroppedFileMessage(path, false));
  } else if (job) {
    OpenAndShow(path);  // a job that cannot be read says why, as Open does
  } else if (AskReadDroppedList(path)) {
    LoadCutList(path);
  }
}

std::string MainWindow::DroppedFileMessage(const QString& path, bool exists) {
  const std::string name =
      Cp(QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName());
  if (!exists) return base::Lit("[#×]") + name + base::Lit("\nは有りません。");
  return base::Lit("[#×]") + name +
         base::Lit(
             "\nは開けません。\n$置けるのは、仕事のファイル（.zv5）と"
             "切断リストの CSV（.csv、.txt）です。");
}

bool MainWindow::AskReadDroppedList(const QString& path) {
  const QString text =
      QFileInfo(path).fileName() + QStringLiteral(
                                       "\nを切断リストとして読み込みますか？\n"
                                       "いまの切断リストは、読み込んだ内容に置き換わります。");
  if (ask_read_list) return ask_read_list(text);
  QMessageBox box(QMessageBox::Question, Qs(base::ApplicationTitle()), text,
                  QMessageBox::Yes | QMessageBox::No, this);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("読み込む"));
  box.button(QMessageBox::No)->setText(QStringLiteral("キャンセル"));
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void MainWindow::OpenWebPage(const char* address) {
  const QString url = QString::fromLatin1(address);
  if (open_url ? open_url(url) : QDesktopServices::openUrl(QUrl(url))) return;
  // Without a browser nothing would happen at all: the address is given to open by hand.
  ShowMessageText(
      base::Lit("[#COPY][#×]ブラウザーを開けませんでした。\n$次のアドレスを開いて下さい：\n") +
      address);
}

void MainWindow::ShowRecentItems() {
  const auto& items = recent_.Items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    recent_items_[i]->setText(QString::fromStdString(items[i]));
    recent_items_[i]->setVisible(!items[i].empty());
  }
  const bool none = recent_.WorkCaption() != "-";
  recent_work_->setSeparator(!none);
  // A separator with text is drawn as a section with its text beside the line.
  recent_work_->setText(none ? QString::fromStdString(recent_.WorkCaption()) : QString());
  recent_work_->setEnabled(!none);
  recent_clear_->setVisible(recent_.ClearVisible());
}

void MainWindow::StartUp() {
  recent_.Load();
  ShowRecentItems();
  const std::string last = job::ReadLastFile();
  const QString path = QString::fromStdString(last);
  job::JobLoad load;
  const JobGuard::Claim claim =
      last.empty() ? JobGuard::Claim::kCancel : guard_.ClaimFor(path, this);
  if (claim != JobGuard::Claim::kCancel && OpenJob(path, &load)) {  // unreadable: not reported
    TakeOpenedJob(path, load, claim == JobGuard::Claim::kReadOnly);
    if (load.Noteworthy()) ShowMessageText(job::IncompleteJobMessage(last, load));
  } else {
    guard_.Abandon();
    SetCurrentFile(QString());
  }
  cut_grid_->update();
}

void MainWindow::UpdateRecentFiles(const QString& path) {
  recent_.Update(path.toStdString());
  ShowRecentItems();
}

void MainWindow::Reopen(int item) {
  if (ConfirmSaveChanges() == QMessageBox::Cancel) return;
  const std::string path = recent_.Items()[static_cast<std::size_t>(item)];
  if (job::IsRegularFile(path)) {
    OpenAndShow(QString::fromStdString(path));  // unreadable: the Open command's message
  } else {
    ShowMessageText(base::Utf8ToCp932(path) + base::Lit("\nは有りません。"));
  }
}

void MainWindow::ClearHistory() {
  recent_.Clear();
  ShowRecentItems();
}

}  // namespace zarvel::app
