#include "app/section_assist.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <cmath>

#include "app/qt_text.h"
#include "base/app_info.h"
#include "base/format.h"
#include "base/numbers.h"
#include "catalog/sections.h"
#include "job/job_controls.h"

namespace zarvel::app {

namespace {

// The unit weight field holds two decimals; weights compare at that precision.
long long Hundredths(long double kg_per_m) {
  return std::llround(kg_per_m * 100);
}

long double FieldWeight(const NumEdit* weight) {
  return base::ParseNumber(weight->Text());
}

const catalog::Section* SectionOf(const NumEdit* member) {
  return catalog::Recognise(base::Cp932ToUtf8(member->Text())).section;
}

// Where the last word of the text begins: completions replace that word only, so usage words
// typed before the section stay.
qsizetype LastWordStart(const QString& text) {
  qsizetype i = text.size();
  while (i > 0 && !text[i - 1].isSpace()) --i;
  return i;
}

bool AskReplace(QWidget* parent, const QString& question) {
  QMessageBox box(QMessageBox::Question, Qs(base::ApplicationTitle()), question,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("はい"));
  box.button(QMessageBox::No)->setText(QStringLiteral("いいえ"));
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace

SectionAssist::SectionAssist(NumEdit* member, NumEdit* weight, QWidget* panel)
    : QObject(panel),
      ask_replace([member](const QString& q) { return AskReplace(member->window(), q); }),
      member_(member),
      weight_(weight),
      note_(new QLabel(panel)),
      completer_(new QCompleter(this)),
      model_(new QStringListModel(this)) {
  completer_->setModel(model_);
  // The list is made by the section table's own search, never filtered again by Qt.
  completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  completer_->setMaxVisibleItems(12);
  // Attached with setWidget only: choosing goes through Choose(), which keeps the field's
  // byte limit and counts the change; Qt's own insertion would bypass both.
  completer_->setWidget(member_);
  connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
          &SectionAssist::Choose);
  connect(member_, &QLineEdit::textEdited, this, &SectionAssist::UpdateCompletions);
  connect(member_, &QLineEdit::textChanged, this, &SectionAssist::UpdateNote);
  connect(weight_, &QLineEdit::textChanged, this, &SectionAssist::UpdateNote);
  QFont font = note_->font();
  font.setPixelSize(13);
  note_->setFont(font);
  note_->setStyleSheet(QStringLiteral("color: #8a5a00"));
  note_->setGeometry(1058, 12, 200, 18);
  note_->hide();
  completer_->popup()->installEventFilter(this);  // ahead of the completer's own filter
}

bool SectionAssist::eventFilter(QObject* watched, QEvent* event) {
  if (watched != completer_->popup() || event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<QKeyEvent*>(event)->key();
  const QModelIndex current = completer_->popup()->currentIndex();
  if ((key != Qt::Key_Return && key != Qt::Key_Enter) || !current.isValid()) return false;
  completer_->popup()->hide();
  Choose(current.data().toString());
  return true;
}

void SectionAssist::UpdateCompletions(const QString& text) {
  const QString word = text.mid(LastWordStart(text));
  QStringList items;
  if (!word.isEmpty()) {
    const QString before = text.left(LastWordStart(text));
    for (const catalog::Section* s : catalog::FindSections(word.toStdString())) {
      const QString name = QString::fromStdString(s->name);
      if (name == word) {  // typed out in full: nothing left to offer
        items.clear();
        break;
      }
      if (items.size() < kMaxCompletions) items << before + name;
    }
  }
  model_->setStringList(items);
  if (items.isEmpty()) {
    completer_->popup()->hide();
  } else {
    completer_->complete();
  }
}

void SectionAssist::Choose(const QString& text) {
  const std::string cp932 = Cp(text);
  if (cp932.size() > NumEdit::kFreeTextMaxBytes) {
    QApplication::beep();  // the usage words and the section do not fit: the field stays
    return;
  }
  if (cp932 != member_->Text()) {
    member_->SetText(cp932);
    if (member_->on_modified) member_->on_modified();
  }
  const catalog::Section* section = SectionOf(member_);
  if (!section) return;
  const long double current = FieldWeight(weight_);
  const long double fresh =
      base::ParseNumber(base::Lit(job::Entry(job::JobControl::kUnitWeight).text));
  const long long table = Hundredths(section->kg_per_m);
  if (Hundredths(current) == table) return;
  if (current != 0 && Hundredths(current) != Hundredths(fresh)) {
    const QString question =
        QStringLiteral(
            "%1 の単位重量は表では %2 kg/m です。\n入力済みの %3 kg/m を置き換えますか？")
            .arg(QString::fromStdString(section->name))
            .arg(static_cast<double>(table) / 100, 0, 'f', 2)
            .arg(static_cast<double>(current), 0, 'f', 2);
    if (!ask_replace || !ask_replace(question)) return;
  }
  weight_->SetNumEditText(base::Format("%.2f", static_cast<double>(table) / 100));
  if (weight_->on_modified) weight_->on_modified();
}

void SectionAssist::UpdateNote() {
  const catalog::Section* section = SectionOf(member_);
  const long long table = section ? Hundredths(section->kg_per_m) : 0;
  if (!section || Hundredths(FieldWeight(weight_)) == table) {
    note_->hide();
    return;
  }
  note_->setText(QStringLiteral("表 %1 kg/m").arg(static_cast<double>(table) / 100, 0, 'f', 2));
  note_->setToolTip(QStringLiteral("%1 の単位重量は %2 kg/m（%3）です。入力した値で計算します。")
                        .arg(QString::fromStdString(section->name),
                             QString::fromStdString(section->weight_text),
                             QString::fromStdString(section->standard)));
  note_->show();
}

}  // namespace zarvel::app
