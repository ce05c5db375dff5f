#include "app/controls.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>

#include "app/qt_text.h"
#include "base/cell_text.h"
#include "base/numbers.h"
#include "job/num_entry.h"
#include "platform/qt_canvas.h"
#include "text/fit.h"

namespace zarvel::app {
namespace {

const QColor kRest(240, 240, 224);
const QColor kFocused(255, 255, 136);
const QColor kHeading(208, 208, 208);
const QColor kRowNumbers(224, 208, 224);
constexpr std::size_t kFreeTextMaxBytes = 32;
constexpr std::size_t kFocusedCellChars = 9;

void Paint(QWidget* w, const QColor& background) {
  QPalette p = w->palette();
  p.setColor(QPalette::Base, background);
  p.setColor(QPalette::Text, Qt::blue);
  w->setPalette(p);
}

// A key event as the entry's key code: Backspace 8, Escape 27, a character, or 0.
int EntryKey(const QKeyEvent* e) {
  if (e->key() == Qt::Key_Backspace) return job::kKeyBackspace;
  if (e->key() == Qt::Key_Escape) return job::kKeyEscape;
  const QString t = e->text();
  if (t.isEmpty()) return 0;
  const char32_t ch = t.toUcs4().value(0);
  if (ch < 32) return 0;
  return job::MapEntryChar(ch);
}

bool IsCharacterKey(const QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) return false;
  if (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Escape) return true;
  return !e->text().isEmpty() && e->text()[0].unicode() >= 32 &&
         !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

}  // namespace

NumEdit::NumEdit(const QString& name, int tag, const std::string& initial, QWidget* parent)
    : QLineEdit(parent), name_(name.toStdString()), tag_(tag) {
  setObjectName(name);
  QLineEdit::setText(Qs(initial));
  Paint(this, kRest);
  setFrame(true);
  if (tag_ != 0) {
    setAttribute(Qt::WA_InputMethodEnabled, false);  // digits arrive as plain characters
    setContextMenuPolicy(Qt::NoContextMenu);
  }
}

std::string NumEdit::Text() const {
  return Cp(text());
}

void NumEdit::SetText(const std::string& cp932) {
  QLineEdit::setText(Qs(cp932));
}

void NumEdit::SetNumEditText(const std::string& cp932) {
  SetText(cp932);
  if (tag_ > 9) Reformat();
}

void NumEdit::Reformat() {
  if (tag_ != 0) SetText(job::FormatNumberText(Text(), tag_));
}

void NumEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  Paint(this, kFocused);
  job::BeginEntry(this, Text(), std::max(job::TagWidth(tag_), 1));
  end(false);
}

void NumEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  Paint(this, kRest);
  Reformat();
}

void NumEdit::mouseReleaseEvent(QMouseEvent* event) {
  QLineEdit::mouseReleaseEvent(event);
  if (tag_ != 0 && !hasSelectedText()) end(false);
}

void NumEdit::MoveFocus(bool forward) {
  QWidget* w = forward ? nextInFocusChain() : previousInFocusChain();
  while (w != nullptr && w != this &&
         !(w->isEnabled() && w->isVisible() && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus))
    w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
  if (w != nullptr && w != this) w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void NumEdit::ApplyKey(int key) {
  job::EntryState& e = job::Entry();
  if (e.target != this) {  // a key for another field starts a fresh entry of this one
    job::BeginEntry(this, Text(), std::max(job::TagWidth(tag_), 1));
    return;
  }
  SetText(job::ShiftInChar(Text(), key));
  end(false);
}

void NumEdit::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
      MoveFocus(false);
      return;
    case Qt::Key_Down:
      MoveFocus(true);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Reformat();
      MoveFocus(true);
      return;
    default:
      break;
  }
  if (tag_ == 0) {
    if (event->key() == Qt::Key_Escape && job::Entry().target == this) {
      SetText(job::Entry().original);
      end(false);
    }
    if (IsCharacterKey(event) && event->key() != Qt::Key_Backspace &&
        event->key() != Qt::Key_Escape && !hasSelectedText() &&
        Text().size() + Cp(event->text()).size() > kFreeTextMaxBytes)
      return;  // the field is full
    if (job::Entry().target != this) job::BeginEntry(this, Text(), 1);
    QLineEdit::keyPressEvent(event);
    if (IsCharacterKey(event) && on_modified) on_modified();
    return;
  }
  if (!IsCharacterKey(event)) return;  // numeric fields are not edited directly
  if (on_modified) on_modified();
  const int key = EntryKey(event);
  if (key != 0) ApplyKey(key);
}

void NumEdit::inputMethodEvent(QInputMethodEvent* event) {
  if (tag_ == 0) {
    QLineEdit::inputMethodEvent(event);
    return;
  }
  for (char32_t ch : event->commitString().toUcs4()) {
    const int key = job::MapEntryChar(ch);
    if (key != 0) ApplyKey(key);
  }
  event->accept();
}

CellGrid::CellGrid(const QString& name, int cols, int rows, QWidget* parent)
    : QWidget(parent),
      name_(name.toStdString()),
      cols_(cols),
      rows_(rows),
      cells_(static_cast<std::size_t>(cols * rows)) {
  setObjectName(name);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  resize(FittingWidth(), FittingHeight());
}

int CellGrid::FittingWidth() const {
  return kFixedColumnWidth + (cols_ - 1) * kDataColumnWidth + cols_ + 2;
}
int CellGrid::FittingHeight() const {
  return rows_ * (kRowHeight + 1) + 2;
}

std::string CellGrid::Cell(int col, int row) const {
  if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return {};
  return cells_[static_cast<std::size_t>(row * cols_ + col)];
}

void CellGrid::SetCell(int col, int row, const std::string& text) {
  if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return;
  cells_[static_cast<std::size_t>(row * cols_ + col)] = text;
  update();
}

void CellGrid::SetRowCount(int rows) {
  rows = std::max(rows, 0);
  cells_.resize(static_cast<std::size_t>(rows * cols_));
  rows_ = rows;
  if (current_.row >= rows_) current_ = {1, 1};
  update();
}

void CellGrid::Refresh() {
  NormaliseCurrent();
  update();
}

void CellGrid::NormaliseCurrent() {
  if (current_.row < rows_ && current_.col < cols_)
    SetCell(current_.col, current_.row, text::FormatCellText(Cell(current_.col, current_.row)));
}

void CellGrid::StartEntry() {
  job::BeginEntry(this, Cell(current_.col, current_.row),
                  job::GridCellWidth(kDataColumnWidth, kFontPixels));
}

void CellGrid::SelectCell(job::CellPos to) {
  if (to.col < 1 || to.row < 1 || to.col >= cols_ || to.row >= rows_) return;
  NormaliseCurrent();
  current_ = to;
  StartEntry();
  update();
}

int CellGrid::ColumnX(int col) const {
  return col == 0 ? 1 : 1 + kFixedColumnWidth + 1 + (col - 1) * (kDataColumnWidth + 1);
}

void CellGrid::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(128, 128, 128));
  platform::QtCanvas canvas(painter, rect());
  const bool focused = hasFocus();
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < cols_; ++c) {
      const int x = ColumnX(c);
      const int w = c == 0 ? kFixedColumnWidth : kDataColumnWidth;
      const int y = 1 + r * (kRowHeight + 1);
      std::string s = Cell(c, r);
      QColor background = kRowNumbers;
      drawing::LogicalFont font;
      font.height = -kFontPixels;
      font.weight = 700;
      font.face_name = text::Lit("ＭＳ ゴシック");
      drawing::Colour colour = 0x000000;
      const bool fixed = r == 0 || c == 0;
      if (r == 0) {
        background = kHeading;
        font.weight = 400;
      }
      if (fixed) font.height = -15;  // 11 points
      if (c == 0 && r > 0) s = std::to_string(r);
      if (!fixed) {
        if (focused && current_ == job::CellPos{c, r}) {
          background = kFocused;
          if (s.size() > kFocusedCellChars) s = s.substr(s.size() - kFocusedCellChars);
        } else {
          background = kRest;
          s = text::FormatCellText(s);
        }
        if (text::AtoI(s) == 0) s.clear();
        colour = 0xFF0000;  // blue
      }
      painter.fillRect(QRect(x, y, w, kRowHeight), background);
      canvas.SetFont(font);
      canvas.SetFontColour(colour);
      text::DrawCellLines(canvas, {x, y, x + w, y + kRowHeight}, s);
    }
  }
}

void CellGrid::keyPressEvent(QKeyEvent* event) {
  job::CellPos to = current_;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      SelectCell(job::NextCell(current_, cols_, rows_, vertical_order && vertical_order()));
      return;
    case Qt::Key_Delete:
      SetCell(current_.col, current_.row, std::string());
      StartEntry();
      return;
    case Qt::Key_Left:
      --to.col;
      SelectCell(to);
      return;
    case Qt::Key_Right:
      ++to.col;
      SelectCell(to);
      return;
    case Qt::Key_Up:
      --to.row;
      SelectCell(to);
      return;
    case Qt::Key_Down:
      ++to.row;
      SelectCell(to);
      return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      QWidget::keyPressEvent(event);
      return;
    default:
      break;
  }
  if (!IsCharacterKey(event)) return;
  if (on_modified) on_modified();
  const int key = EntryKey(event);
  if (key == 0) return;
  if (job::Entry().target != this) {
    StartEntry();
    return;
  }
  SetCell(current_.col, current_.row, job::ShiftInChar(Cell(current_.col, current_.row), key));
}

void CellGrid::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  int col = -1;
  for (int c = 1; c < cols_; ++c)
    if (p.x() >= ColumnX(c) && p.x() < ColumnX(c) + kDataColumnWidth) col = c;
  const int row = (p.y() - 1) / (kRowHeight + 1);
  setFocus(Qt::MouseFocusReason);
  if (col >= 1 && row >= 1 && row < rows_) SelectCell({col, row});
}

void CellGrid::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  StartEntry();
  update();
}

void CellGrid::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  Refresh();
}

RadioGroup::RadioGroup(const QString& name, const QString& caption, const QStringList& items,
                       QWidget* parent)
    : QGroupBox(caption, parent), name_(name.toStdString()), group_(new QButtonGroup(this)) {
  setObjectName(name);
  auto* layout = new QHBoxLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items[i], this);
    group_->addButton(b, i);
    layout->addWidget(b);
  }
  connect(group_, &QButtonGroup::idClicked, this, [this](int) {
    if (on_change) on_change();
  });
}

int RadioGroup::ItemIndex() const {
  return group_->checkedId();
}

void RadioGroup::SetItemIndex(int index) {
  if (index == ItemIndex()) return;
  if (index < 0) {
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons()) b->setChecked(false);
    group_->setExclusive(true);
  } else if (QAbstractButton* b = group_->button(index)) {
    b->setChecked(true);
  } else {
    return;
  }
  if (on_change) on_change();
}

CheckBox::CheckBox(const QString& name, const QString& caption, bool checked, QWidget* parent)
    : QCheckBox(caption, parent), name_(name.toStdString()) {
  setObjectName(name);
  setChecked(checked);
}

}  // namespace zarvel::app
