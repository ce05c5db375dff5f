// The run's surroundings on the desktop: the keyboard's modifier keys, pauses, the hourglass
// cursor and a label that shows the progress at once.
#pragma once

#include <string>

#include "optimiser/host.h"
#include "run/host.h"

class QLabel;

namespace zarvel::platform {

// Shift, Ctrl and Alt as they are held at the moment of asking.
class QtKeyState final : public optimiser::KeyState {
 public:
  bool IsKeyDown(int virtual_key) const override;
};

class QtClock final : public optimiser::Clock {
 public:
  void Pause(int milliseconds) override;
};

// The application-wide wait cursor, restored by EndBusy.
class QtBusyCursor final : public run::BusyCursor {
 public:
  void BeginBusy() override;
  void EndBusy() override;
};

// Sets the label's text and repaints it without waiting for the event loop.
class LabelProgress final : public optimiser::ProgressLabel {
 public:
  explicit LabelProgress(QLabel* label) : label_(label) {}
  void SetProgressText(const std::string& text) override;

 private:
  QLabel* label_;
};

}  // namespace zarvel::platform
