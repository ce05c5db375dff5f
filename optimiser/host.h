// What the search needs from the world around it: the keys it polls, the progress label and
// pauses. The window, the command line and the tests each provide their own.
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

}  // namespace zarvel::optimiser
