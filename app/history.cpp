#include "app/history.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "app/qt_text.h"
#include "base/app_info.h"

namespace zarvel::app {

HistoryWindow::HistoryWindow(QWidget* parent) : QDialog(parent), memo_(new QPlainTextEdit(this)) {
  // Named for what it shows: the message boxes carry the plain application title.
  setWindowTitle(QStringLiteral("変更履歴 - ") + Qs(base::ApplicationTitle()));
  setModal(false);
  resize(762, 629);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(memo_);
  memo_->setReadOnly(true);
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setStyleSheet(QStringLiteral("background: rgb(251, 228, 159)"));
  QFont font(QStringLiteral("IPAGothic"));
  font.setPixelSize(15);
  memo_->setFont(font);
}

void HistoryWindow::ShowHistory() {
  memo_->setPlainText(Qs(base::ChangeHistoryText()));
  if (!isVisible()) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
  }
  show();
  raise();
  activateWindow();
}

}  // namespace zarvel::app
