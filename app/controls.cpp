#include "app/controls.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QToolTip>
#include <QValidator>

#include "app/qt_text.h"
#include "base/cell_text.h"
#include "base/numbers.h"
#include "job/num_entry.h"
#include "platform/qt_canvas.h"
#include "run/cell_check.h"
#include "text/fit.h"

namespace zarvel::app {
namespace {

const QColor kRest(240, 240, 224);
const QColor kMarked(0, 150, 70);  // a cell's corner mark
const QColor kFocused(255, 255, 136);
const QColor kHeading(208, 208, 208);
const QColor kRowNumbers(224, 208, 224);
constexpr std::size_t kFocusedCellChars = 9;

void Paint(QWidget* w, const QColor& background) {
  QPalette p = w->palette();
  p.setColor(QPalette::Base, background);
  p.setColor(QPalette::Text, Qt::blue);
  w->setPalette(p);
}

// X11 gives Delete the text 0x7F: a control character, not something typed.
constexpr char16_t kDeleteChar = 0x7F;

// A key event as the entry's key code: Backspace 8, Escape 27, a character, or 0.
int EntryKey(const QKeyEvent* e) {
  if (e->key() == Qt::Key_Backspace) return job::kKeyBackspace;
  if (e->key() == Qt::Key_Escape) return job::kKeyEscape;
  const QString t = e->text();
  if (t.isEmpty()) return 0;
  const char32_t ch = t.toUcs4().value(0);
  if (ch < 32 || ch == kDeleteChar) return 0;
  return job::MapEntryChar(ch);
}

// Keys that set the modified flag: characters, Backspace and Escape; not Enter, arrows, Delete.
bool IsCharacterKey(const QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Delete)
    return false;
  if (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Escape) return true;
  return !e->text().isEmpty() && e->text()[0].unicode() >= 32 &&
         e->text()[0].unicode() != kDeleteChar &&
         !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

// The focus leaving for another window or for a pop-up menu is not the user entering another
// field: the entry goes on where it was when the focus comes back.
bool KeepsEntry(const QFocusEvent* e) {
  return e->reason() == Qt::ActiveWindowFocusReason || e->reason() == Qt::PopupFocusReason;
}

// Bytes of one character in CP932 (a character CP932 lacks is stored as one "?").
std::size_t Cp932Bytes(char32_t ch) {
  return Cp(QString::fromUcs4(&ch, 1)).size();
}

std::size_t Cp932Bytes(const QString& s) {
  std::size_t n = 0;
  for (char32_t ch : s.toUcs4()) n += Cp932Bytes(ch);
  return n;
}

bool IsControlChar(char32_t ch) {
  return ch < 0x20 || (ch >= 0x7F && ch <= 0x9F) || ch == 0x2028 || ch == 0x2029;
}

}  // namespace

// Every edit the platform makes to a free-text field (typing, the input method's commits,
// pastes by key, menu or middle click, drops) passes here, as if typed character by character:
// line breaks and control characters become blanks, and what the user inserts is cut, at a
// whole character, where the field would pass its byte limit. A text the program sets is
// taken as it is.
class FreeTextValidator final : public QValidator {
 public:
  explicit FreeTextValidator(NumEdit& edit)
      : QValidator(&edit), edit_(edit), before_(edit.text()) {}

  State validate(QString& input, int& pos) const override {
    if (edit_.setting_) {
      before_ = input;
      return Acceptable;
    }
    for (QChar& c : input)
      if (IsControlChar(c.unicode())) c = QLatin1Char(' ');
    if (Cp932Bytes(input) > NumEdit::kFreeTextMaxBytes) input = Limited(input, pos);
    before_ = input;
    return Acceptable;
  }

 private:
  // The edit with its inserted part cut so that the whole fits (or, for a longer text the
  // program set, with nothing inserted).
  QString Limited(const QString& after, int& pos) const {
    const QString& old = before_;
    qsizetype prefix = 0;
    while (prefix < old.size() && prefix < after.size() && old[prefix] == after[prefix]) ++prefix;
    qsizetype suffix = 0;
    while (suffix < old.size() - prefix && suffix < after.size() - prefix &&
           old[old.size() - 1 - suffix] == after[after.size() - 1 - suffix])
      ++suffix;
    // Never split a surrogate pair between the kept and the inserted part.
    if (prefix > 0 && after[prefix - 1].isHighSurrogate()) --prefix;
    if (suffix > 0 && after[after.size() - suffix].isLowSurrogate()) --suffix;
    const QString head = after.left(prefix);
    const QString tail = after.right(suffix);
    std::size_t room = NumEdit::kFreeTextMaxBytes;
    const std::size_t kept = Cp932Bytes(head) + Cp932Bytes(tail);
    room = kept >= room ? 0 : room - kept;
    QString inserted;
    for (char32_t ch : after.mid(prefix, after.size() - prefix - suffix).toUcs4()) {
      const std::size_t n = Cp932Bytes(ch);
      if (n > room) break;
      room -= n;
      inserted += QString::fromUcs4(&ch, 1);
    }
    pos = static_cast<int>(head.size() + inserted.size());
    return head + inserted + tail;
  }

  NumEdit& edit_;
  mutable QString before_;
};

NumEdit::NumEdit(const QString& name, int tag, const std::string& initial, QWidget* parent)
    : QLineEdit(parent), name_(name.toStdString()), tag_(tag) {
  setObjectName(name);
  SetText(initial);
  Paint(this, kRest);
  setFrame(true);
  if (tag_ != 0) {
    setAttribute(Qt::WA_InputMethodEnabled, false);  // digits arrive as plain characters
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);  // text enters only through the odometer keys
  } else {
    setValidator(new FreeTextValidator(*this));
    // Every edit by the user, Delete's too, changes the job.
    connect(this, &QLineEdit::textEdited, this, [this] { Modified(); });
  }
}

std::string NumEdit::Text() const {
  return Cp(text());
}

void NumEdit::SetText(const std::string& cp932) {
  setting_ = true;
  QLineEdit::setText(Qs(cp932));
  setting_ = false;
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
  if (KeepsEntry(event) && job::Entry().target == this) return;
  job::BeginEntry(this, Text(), std::max(job::TagWidth(tag_), 1));
  // Reached by the keyboard, a text field offers its whole text to be typed over (the
  // placeholder "<部材名>" goes with the first key); a click places the cursor.
  const bool by_keyboard =
      event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
  if (tag_ == 0 && by_keyboard) {
    selectAll();
    return;
  }
  end(false);
}

void NumEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (KeepsEntry(event)) return;
  Paint(this, kRest);
  Reformat();
}

void NumEdit::mouseReleaseEvent(QMouseEvent* event) {
  // The middle button pastes the X11 selection; a numeric field takes no text that way.
  if (tag_ != 0 && event->button() == Qt::MiddleButton) {
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
  if (tag_ != 0 && !hasSelectedText()) end(false);
}

void NumEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (tag_ != 0) {
    event->ignore();
    return;
  }
  QLineEdit::dragEnterEvent(event);
}

void NumEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (tag_ != 0) {
    event->ignore();
    return;
  }
  QLineEdit::dragMoveEvent(event);
}

void NumEdit::dropEvent(QDropEvent* event) {
  if (tag_ != 0) {
    event->ignore();
    return;
  }
  QLineEdit::dropEvent(event);
}

void NumEdit::MoveFocus(bool forward) {
  QWidget* w = forward ? nextInFocusChain() : previousInFocusChain();
  while (w != nullptr && w != this &&
         !(w->isEnabled() && w->isVisible() && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus))
    w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
  if (w == nullptr || w == this) return;
  // Into a radio group, the focus goes to the chosen button, as Tab takes it.
  if (const auto* button = qobject_cast<QAbstractButton*>(w)) {
    if (const QButtonGroup* group = button->group();
        group != nullptr && group->exclusive() && group->checkedButton() != nullptr)
      w = group->checkedButton();
  }
  w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void NumEdit::ApplyKey(int key) {
  job::EntryState& e = job::Entry();
  if (e.target != this) {  // a key for another field starts a fresh entry of this one
    job::BeginEntry(this, Text(), std::max(job::TagWidth(tag_), 1));
    return;
  }
  std::string next = job::ShiftInChar(Text(), key);
  if (accepts && !accepts(next)) {
    // "25" as a month: the 5 starts a month of its own; a key that cannot start one is dropped.
    e.key_count = 0;
    next = job::ShiftInChar(Text(), key);
    if (!accepts(next)) {
      e.key_count = 0;
      return;
    }
  }
  SetText(next);
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
    if (job::Entry().target != this) job::BeginEntry(this, Text(), 1);
    // The free text is edited by the platform; the validator holds it to one line and the
    // byte limit, and every edit marks the job modified.
    QLineEdit::keyPressEvent(event);
    if (IsCharacterKey(event)) Modified();
    return;
  }
  if (!IsCharacterKey(event)) return;  // numeric fields are not edited directly
  Modified();
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
      capacity_(rows),
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
  rows = std::clamp(rows, 0, capacity_);
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
  if (current_.row < rows_ && current_.col < cols_) {
    const std::string typed = Cell(current_.col, current_.row);
    run::NoteTypedText(*this, typed);  // the run still names what it read it as
    SetCell(current_.col, current_.row, base::FormatCellText(typed));
  }
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
      font.face_name = base::Lit("ＭＳ ゴシック");
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
          s = base::FormatCellText(s);
        }
        if (base::AtoI(s) == 0) s.clear();
        colour = 0xFF0000;  // blue
      }
      painter.fillRect(QRect(x, y, w, kRowHeight), background);
      if (!fixed && cell_marked && cell_marked(c, r)) {
        const QPoint corner[] = {{x, y}, {x + 10, y}, {x, y + 10}};
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(kMarked);
        painter.drawPolygon(corner, 3);
        painter.restore();
      }
      canvas.SetFont(font);
      canvas.SetFontColour(colour);
      text::DrawCellLines(canvas, {x, y, x + w, y + kRowHeight}, s);
    }
  }
}

void CellGrid::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    if (on_paste) on_paste();
    return;
  }
  job::CellPos to = current_;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      SelectCell(job::NextCell(current_, cols_, rows_, vertical_order && vertical_order()));
      return;
    case Qt::Key_Delete:
      // Emptying the cell is part of its entry: Escape brings back what it held before.
      if (job::Entry().target != this) StartEntry();
      if (!base::FormatCellText(Cell(current_.col, current_.row)).empty() && on_modified)
        on_modified();
      SetCell(current_.col, current_.row, std::string());
      job::Entry().key_count = std::max(job::Entry().key_count, 1);
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

job::CellPos CellGrid::CellAt(QPoint p) const {
  int col = -1;
  for (int c = 1; c < cols_; ++c)
    if (p.x() >= ColumnX(c) && p.x() < ColumnX(c) + kDataColumnWidth) col = c;
  const int row = (p.y() - 1) / (kRowHeight + 1);
  if (col >= 1 && row >= 1 && row < rows_) return {col, row};
  return {-1, -1};
}

void CellGrid::mousePressEvent(QMouseEvent* event) {
  const job::CellPos cell = CellAt(event->position().toPoint());
  setFocus(Qt::MouseFocusReason);
  if (cell.col >= 1) SelectCell(cell);
  if (event->button() == Qt::MiddleButton && on_paste_selection) on_paste_selection();
}

void CellGrid::Rewind() {
  current_ = {1, 1};
  update();
}

bool CellGrid::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip || !cell_hint) return QWidget::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const job::CellPos cell = CellAt(help->pos());
  const QString hint = cell.col >= 1 ? cell_hint(cell.col, cell.row) : QString();
  if (hint.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), hint, this);
  }
  return true;
}

void CellGrid::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  if (!(KeepsEntry(event) && job::Entry().target == this)) StartEntry();
  update();
}

void CellGrid::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  if (KeepsEntry(event)) {
    update();
    return;
  }
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
  for (QAbstractButton* b : group_->buttons()) b->installEventFilter(this);
}

bool RadioGroup::eventFilter(QObject* watched, QEvent* event) {
  // Enter moves on to the next field, as it does from every edit field.
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      auto* button = static_cast<QWidget*>(watched);
      QWidget* next = button->nextInFocusChain();
      // Past the group's own buttons, to the first control after it that takes Tab.
      while (next != nullptr && next != button &&
             (isAncestorOf(next) || !next->isEnabled() || !next->isVisible() ||
              (next->focusPolicy() & Qt::TabFocus) != Qt::TabFocus))
        next = next->nextInFocusChain();
      if (next != nullptr && next != button) next->setFocus(Qt::TabFocusReason);
      return true;
    }
  }
  return QGroupBox::eventFilter(watched, event);
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
