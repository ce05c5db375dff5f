#include "app/preview.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/message.h"
#include "app/qt_text.h"
#include "base/app_info.h"
#include "drawing/pages.h"
#include "drawing/playback.h"
#include "job/job_controls.h"
#include "platform/qt_canvas.h"
#include "platform/qt_host.h"
#include "report/labels.h"
#include "report/report.h"
#include "session/plan_state.h"

namespace zarvel::app {
namespace {

// Around and between the pages, so that they seem to lie on one sheet.
const QColor kPanelColour = platform::ToQColor(drawing::kScreenPaper);

// Paints the display image on the page panel.
class PageView final : public QWidget {
 public:
  PageView(const QImage& image, const QPoint& origin, QWidget* parent)
      : QWidget(parent), image_(image), origin_(origin) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), kPanelColour);
    p.drawImage(origin_, image_);
  }

 private:
  const QImage& image_;
  const QPoint& origin_;
};

// A table switch as the job's control table declares it.
CheckBox* TableSwitch(job::JobControl control, const QString& caption, QWidget* parent) {
  const job::ControlEntry& entry = job::Entry(control);
  return new CheckBox(QString::fromLatin1(entry.key), caption, entry.value != 0, parent);
}

const QString& PageLimitNote() {
  static const QString note = QStringLiteral("（ページ数の上限で打ち切り）");
  return note;
}

}  // namespace

PreviewWindow::PreviewWindow(const optimiser::OptimiserRecords& records, QWidget* parent)
    : QWidget(parent, Qt::Window), records_(records) {
  setMinimumSize(640, 480);
  setMaximumWidth(1180);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  top_ = new QWidget(this);
  auto* top_layout = new QHBoxLayout(top_);
  top_layout->addWidget(new QLabel(QStringLiteral("切断パターン形式："), top_));
  table_a_ = TableSwitch(job::JobControl::kTableA, QStringLiteral("［長さ×本数］の表"), top_);
  table_b_ = TableSwitch(job::JobControl::kTableB, QStringLiteral("［１本毎］の表"), top_);
  table_c_ = TableSwitch(job::JobControl::kTableC, QStringLiteral("切断図"), top_);
  saw_list_ = TableSwitch(job::JobControl::kSawList, QStringLiteral("切断指示書"), top_);
  labels_ = TableSwitch(job::JobControl::kLabels, QStringLiteral("ラベル"), top_);
  const job::ControlEntry& sheet = job::Entry(job::JobControl::kLabelSheet);
  label_sheet_ = new RadioGroup(
      QString::fromLatin1(sheet.key), QString(),
      {QStringLiteral("12面"), QStringLiteral("24面"), QStringLiteral("44面")}, top_);
  label_sheet_->SetItemIndex(sheet.value);
  // In the row of check boxes, no taller than they are.
  label_sheet_->setFlat(true);
  label_sheet_->setStyleSheet(QStringLiteral("QGroupBox { border: 0; margin: 0; padding: 0; }"));
  label_sheet_->layout()->setContentsMargins(0, 0, 0, 0);
  for (QWidget* w :
       std::initializer_list<QWidget*>{table_a_, table_b_, table_c_, saw_list_, labels_,
                                       new QLabel(QStringLiteral("（A4 用紙："), top_),
                                       label_sheet_, new QLabel(QStringLiteral("）"), top_)})
    top_layout->addWidget(w);
  top_layout->addStretch();
  outdated_note_ = new QLabel(QStringLiteral("仕事の内容より古い計画です"), top_);
  outdated_note_->setStyleSheet(QStringLiteral("color: #c00000;"));
  outdated_note_->hide();
  top_layout->addWidget(outdated_note_);
  print_ = new QPushButton(QStringLiteral("印 刷"), top_);
  top_layout->addWidget(print_);
  layout->addWidget(top_);

  auto* body = new QWidget(this);
  auto* body_layout = new QHBoxLayout(body);
  body_layout->setContentsMargins(0, 0, 0, 0);
  body_layout->setSpacing(0);
  panel_ = new PageView(display_, display_origin_, body);
  panel_->installEventFilter(this);
  scroll_ = new QScrollBar(Qt::Vertical, body);
  scroll_->installEventFilter(this);  // its own wheel handling would move three steps
  scroll_->setFixedWidth(kBarWidth);
  scroll_->setPageStep(kLargeChange);
  scroll_->setSingleStep(1);
  body_layout->addWidget(panel_, 1);
  body_layout->addWidget(scroll_);
  layout->addWidget(body, 1);

  connect(scroll_, &QScrollBar::valueChanged, this, [this] { Redraw(); });
  for (CheckBox* box : {table_a_, table_b_, table_c_, saw_list_, labels_}) {
    connect(box, &QCheckBox::toggled, this, [this] {
      if (isVisible()) RecordPages();
    });
  }
  label_sheet_->on_change = [this] {
    if (isVisible() && labels_->isChecked()) RecordPages();
    if (on_label_sheet_change) on_label_sheet_change();
  };
  connect(print_, &QPushButton::clicked, this, [this] { PrintAll(); });
  resize(960, 720);
}

void PreviewWindow::SetCaption(const QString& caption) {
  caption_ = caption.endsWith(PageLimitNote()) ? caption.chopped(PageLimitNote().size()) : caption;
  setWindowTitle(caption_);
}

void PreviewWindow::Rebuild() {
  if (plan_ == nullptr) plan_ = std::make_unique<optimiser::OptimiserRecords>();
  *plan_ = records_;
  RecordPages();
}

void PreviewWindow::RecordPages() {
  if (plan_ == nullptr) return;  // no run yet
  QApplication::setOverrideCursor(Qt::WaitCursor);
  static const platform::QtKeyState keyboard;
  report::ReportOptions options;
  options.table_a = table_a_->isChecked();
  options.table_b = table_b_->isChecked();
  options.table_c = table_c_->isChecked();
  options.saw_list = saw_list_->isChecked();
  options.labels = labels_->isChecked();
  options.label_sheet = label_sheet_->ItemIndex();
  options.keys = keys != nullptr ? keys : &keyboard;
  options.jobs = jobs;
  report::RecordingSurface surface;  // 1800 × 2700 dots; recording only
  const report::ReportResult result = report::RebuildPages(surface, *plan_, options);
  pages_ = result.pages;
  truncated_ = result.truncated;
  if (caption_.isEmpty()) caption_ = windowTitle();
  setWindowTitle(truncated_ ? caption_ + PageLimitNote() : caption_);
  if (isVisible()) PanelResized();
  if (!isVisible() && !placed_) {
    placed_ = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      // Within the screen less its panels, with room for the title bar and frame.
      const QRect free = screen->availableGeometry();
      resize(size().boundedTo(free.size() - QSize(kFrameRoom, kTitleRoom)));
      move(free.center() - rect().center());
    }
  }
  show();
  raise();
  QApplication::restoreOverrideCursor();
}

void PreviewWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ForgetCache();
  previous_position_ = 0;
  if (scroll_->value() != 0) {
    scroll_->setValue(0);  // redraws
  } else {
    Redraw();
  }
}

void PreviewWindow::ForgetCache() {
  for (CacheSlot& s : cache_) s.page = -1;
}

void PreviewWindow::PanelResized() {
  ForgetCache();
  Redraw();
  scroll_->setFocus();
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == panel_ && event->type() == QEvent::Resize && isVisible()) PanelResized();
  if (watched == scroll_ && event->type() == QEvent::Wheel) {
    ScrollByWheel(*static_cast<QWheelEvent*>(event));
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void PreviewWindow::wheelEvent(QWheelEvent* event) {
  ScrollByWheel(*event);
  event->accept();
}

// One notch is one scroll unit (a twentieth of a page), over the page and the bar alike.
void PreviewWindow::ScrollByWheel(const QWheelEvent& event) {
  const int delta = event.angleDelta().y();
  if (delta == 0) return;  // a sideways turn
  scroll_->setValue(scroll_->value() + (delta > 0 ? -1 : 1));
}

void PreviewWindow::Redraw() {
  // Display size: at most 900 wide, and narrower when the panel is; the 2 : 3 page ratio.
  const int panel_width = panel_->width() + kBarWidth;  // the page panel and the bar beside it
  int w = std::min(panel_width, kMaxDisplayWidth);
  const int available = panel_width - kBarWidth;
  w = std::max(1, std::min(w, available - 8));
  // The height follows the width actually shown.
  const int h = std::max(1, w * 1350 / 900);
  if (display_.size() != QSize(w, h)) display_ = QImage(w, h, QImage::Format_RGB32);
  display_origin_ = QPoint((available - w) / 2, 0);

  // The maximum first: a report that shrank pulls the position back onto its last page.
  {
    const QSignalBlocker block(scroll_);
    scroll_->setMaximum(static_cast<int>(std::trunc((pages_ - 1 + 0.52) * kLargeChange)));
  }
  int position = scroll_->value();
  if (position == previous_position_ + kLargeChange) {  // a page-down click: start of a page
    position = position / kLargeChange * kLargeChange;
    if (position != scroll_->value()) {
      const QSignalBlocker block(scroll_);
      scroll_->setValue(position);
    }
  }
  const double f = position * 0.05 + 1.0;
  previous_position_ = position;
  const int first = static_cast<int>(std::trunc(f));
  if (std::abs(first - cache_[0].page) == 1) std::swap(cache_[0], cache_[1]);

  display_.fill(kPanelColour);
  int next_top = 0;
  for (int k = 0; k < 2; ++k) {
    CacheSlot& slot = cache_[static_cast<std::size_t>(k)];
    const int page = first + k;
    if (slot.bitmap.width() != 2 * w || slot.page != page) {
      slot.page = page;
      const int h2 = 2 * h - 2;
      slot.bitmap = QImage(2 * w, h2, QImage::Format_RGB32);
      {
        QPainter painter(&slot.bitmap);
        platform::QtCanvas canvas(painter, slot.bitmap.rect());
        drawing::PlayReportPage(platform::BitmapTarget(slot.bitmap, canvas), page,
                                drawing::kRecordingWidth, drawing::kRecordingHeight,
                                drawing::kScreenPaper);
        ++renders_;
        const drawing::SheetSize sheet = drawing::PageSheet(page + drawing::kFirstReportSlot);
        if (page <= pages_ && sheet.width > 0) {
          // A label sheet: its edges, and its die-cut grid in light grey (never printed).
          const double scale = std::min(2.0 * w / sheet.width, 1.0 * h2 / sheet.height);
          const double dots = scale * drawing::kRecordingDotsPerMm;  // per sheet mm
          const report::LabelSheet& labels = report::LabelSheetOf(label_sheet_->ItemIndex());
          painter.setPen(QPen(QColor(176, 176, 176), 1));
          for (int i = 0; i < labels.per_sheet; ++i) {
            const double x = labels.left + (i % labels.columns) * labels.pitch_x;
            const double y = labels.top + (i / labels.columns) * labels.pitch_y;
            painter.drawRect(QRectF(x * dots, y * dots, labels.width * dots, labels.height * dots));
          }
          painter.setPen(QPen(Qt::black, 1));
          painter.drawRect(0, 0, static_cast<int>(sheet.width * scale) - 1,
                           static_cast<int>(sheet.height * scale) - 1);
        } else if (page <= pages_) {
          // A one-dot frame from 2 mm below the page's top edge.
          // (Right and bottom edges exclusive: the frame's last dots are 2w - 2 and h2 - 2.)
          painter.setPen(QPen(Qt::black, 1));
          const int top = 2 * h2 / 270, right = 2 * w - 2, bottom = h2 - 2;
          painter.drawLine(0, top, right, top);
          painter.drawLine(0, bottom, right, bottom);
          painter.drawLine(0, top, 0, bottom);
          painter.drawLine(right, top, right, bottom);
        }
      }
    }
    const int top = static_cast<int>(std::trunc((page - f) * h));
    if (k == 1) next_top = top;
    drawing::HalveBitmap(platform::ViewOf(display_), platform::ViewOf(slot.bitmap), top);
  }
  // A band of the panel's colour between the pages.
  const int g = f == std::trunc(f) ? 0 : next_top;
  for (int y = std::max(g, 0); y < std::min(g + kGap, h); ++y) {
    auto* row = reinterpret_cast<QRgb*>(display_.scanLine(y));
    std::fill(row, row + w, kPanelColour.rgb());
  }
  panel_->update();
}

std::vector<int> PrintedPages(int pages, const PrintChoice& c) {
  int from = 1, to = pages;
  if (c.range == PrintChoice::Range::kCurrent) {
    from = to = std::clamp(c.current, 1, std::max(pages, 1));
  } else if (c.range == PrintChoice::Range::kPages && (c.from > 0 || c.to > 0)) {
    from = std::max(c.from, 1);
    to = std::min(c.to > 0 ? c.to : pages, pages);
  }
  std::vector<int> order;
  const int copies = std::clamp(c.copies, 1, 999);
  for (int k = 0; k < (c.collate ? copies : 1); ++k)
    for (int n = from; n <= to; ++n)
      for (int j = 0; j < (c.collate ? 1 : copies); ++j) order.push_back(n);
  return order;
}

int PreviewWindow::CurrentPage() const {
  return std::clamp(static_cast<int>(std::trunc(scroll_->value() * 0.05 + 1.0)), 1,
                    std::max(pages_, 1));
}

void PreviewWindow::SetOutdated(bool outdated) {
  if (outdated_ == outdated) return;
  outdated_ = outdated;
  outdated_note_->setVisible(outdated);
}

void PreviewWindow::PrintAll() {
  if (outdated_) {
    ShowMessageText(session::OutdatedPlanMessage("印刷"));
    return;
  }
  repaint();
  QPrinter printer(QPrinter::HighResolution);
  const QString job = job_file ? job_file() : QString();
  // The print queue's title, and the name printing to a file proposes (its folder is the
  // current one while the dialog is open).
  printer.setDocName(job.isEmpty() ? Qs(base::ApplicationTitle()) : QFileInfo(job).fileName());
  const bool go = ask_print ? ask_print(printer) : [&] {
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
    dialog.setMinMax(1, std::max(pages_, 1));
    const QString before = QDir::currentPath();
    if (!job.isEmpty()) QDir::setCurrent(QFileInfo(job).path());
    const bool accepted = dialog.exec() == QDialog::Accepted;
    QDir::setCurrent(before);
    return accepted;
  }();
  if (!go) return;
  PrintChoice choice;
  if (printer.printRange() == QPrinter::PageRange) {
    choice.range = PrintChoice::Range::kPages;
    choice.from = printer.fromPage();
    choice.to = printer.toPage();
  } else if (printer.printRange() == QPrinter::CurrentPage) {
    choice.range = PrintChoice::Range::kCurrent;
    choice.current = CurrentPage();
  }
  // A printer that makes the copies itself gets the pages once.
  if (!printer.supportsMultipleCopies()) {
    choice.copies = printer.copyCount();
    choice.collate = printer.collateCopies();
  }
  const std::vector<int> order = PrintedPages(pages_, choice);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QPainter painter;
  if (!order.empty() && painter.begin(&printer)) {
    platform::QtCanvas canvas(painter, printer.pageRect(QPrinter::DevicePixel).toRect());
    const drawing::PlayTarget target = platform::PrinterTarget(printer, canvas);
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (i > 0) printer.newPage();
      drawing::PlayReportPage(target, order[i], drawing::kRecordingWidth, drawing::kRecordingHeight,
                              drawing::kPrinterPaper);
    }
    painter.end();
  }
  QApplication::restoreOverrideCursor();
}

}  // namespace zarvel::app
