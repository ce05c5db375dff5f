// What the run and the search need from the world around them. The window, the command line
// and the tests each provide their own.
#pragma once

#include <string>

namespace zarvel::optimiser {

// Virtual key codes the run polls.
inline constexpr int kKeyShift = 16;
inline constexpr int kKeyControl = 17;
inline constexpr int kKeyAlt = 18;

class KeyState {
 public:
  virtual ~KeyState() = default;
  // Whether the key is held down at this moment.
  virtual bool IsKeyDown(int virtual_key) const = 0;
};

class ProgressLabel {
 public:
  virtual ~ProgressLabel() = default;
  // Sets the caption (CP932, may hold a line break) and repaints it at once.
  virtual void SetProgressText(const std::string& text) = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Pause(int milliseconds) = 0;
};

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Shows a message (CP932, with the "[#×]" style markers) and returns when it is dismissed.
  virtual void ShowMessageText(const std::string& text) = 0;
};

// The print preview as the run command sees it.
class PreviewOpener {
 public:
  virtual ~PreviewOpener() = default;
  virtual void ClosePreview() = 0;
  // Sets the caption, rebuilds the pages from the best plan and shows the preview.
  virtual void OpenPreview(const std::string& caption) = 0;
};

// Hourglass cursor while a long operation runs.
class BusyCursor {
 public:
  virtual ~BusyCursor() = default;
  virtual void BeginBusy() = 0;
  virtual void EndBusy() = 0;
};

}  // namespace zarvel::optimiser
