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
  label_->setText(QString::fromUtf8(text::Cp932ToUtf8(text)));
  label_->repaint();
}

}  // namespace zarvel::platform
