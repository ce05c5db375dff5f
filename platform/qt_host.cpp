#include "platform/qt_host.h"

#include <QGuiApplication>
#include <QLabel>
#include <chrono>
#include <thread>

#include "base/cp932.h"

namespace zarvel::platform {

bool QtKeyState::IsKeyDown(int virtual_key) const {
  const Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
  if (virtual_key == optimiser::kKeyShift) return m.testFlag(Qt::ShiftModifier);
  if (virtual_key == optimiser::kKeyAlt) return m.testFlag(Qt::AltModifier);
  if (virtual_key == optimiser::kKeyControl) return m.testFlag(Qt::ControlModifier);
  return false;
}

void QtClock::Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void QtBusyCursor::BeginBusy() {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtBusyCursor::EndBusy() {
  QGuiApplication::restoreOverrideCursor();
}

void LabelProgress::SetProgressText(const std::string& text) {
  // The label's own font is kept aside; a text too wide for it gets a smaller one.
  const char* const kBaseFont = "zarvelBaseFont";
  if (!label_->property(kBaseFont).isValid()) label_->setProperty(kBaseFont, label_->font());
  QFont font = label_->property(kBaseFont).value<QFont>();
  label_->setFont(font);
  label_->setText(QString::fromUtf8(base::Cp932ToUtf8(text)));
  const int size = font.pixelSize() > 0 ? font.pixelSize() : font.pointSize();
  for (int smaller = size - 1; smaller >= size / 2 && label_->sizeHint().width() > label_->width();
       --smaller) {
    if (font.pixelSize() > 0) {
      font.setPixelSize(smaller);
    } else {
      font.setPointSize(smaller);
    }
    label_->setFont(font);
  }
  label_->repaint();
}

}  // namespace zarvel::platform
