// What the run command needs from the world around it besides the search's keys, label and
// clock: messages, the preview and the busy cursor. The window, the command line and the tests
// each provide their own.
#pragma once

#include <string>

#include "optimiser/host.h"

namespace zarvel::run {

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

}  // namespace zarvel::run
