// The program's own message dialog: marker prefixes ("[#×]" a red cross, "[#COPY]" a copy
// button), one label per line, a "$" line gets half a line of space above it.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>
#include <string>
#include <vector>

namespace zarvel::app {

struct ParsedMessage {
  bool cross = false;
  bool copy = false;
  std::vector<std::string> lines;      // CP932, trimmed, without a leading "$"
  std::vector<bool> half_line_before;  // the line began with "$"
};

// Reads the markers and splits the lines (CR LF, LF or CR). Markers compare upper-cased.
ParsedMessage ParseMessage(const std::string& cp932);

// The text the copy button puts on the clipboard: every line, CR LF after each.
std::string CopyText(const ParsedMessage& message);

inline constexpr int kMessageLabels = 50;

class MessageDialog final : public QDialog {
 public:
  explicit MessageDialog(QWidget* parent = nullptr);

  // Lays the message out (labels, marks, size) without showing it.
  void Prepare(const std::string& cp932);
  // Prepare, centre on the screen and show modally.
  void ShowModal(const std::string& cp932);

  QLabel* Label(int i) const { return labels_[static_cast<std::size_t>(i)]; }
  QLabel* Cross() const { return mark_; }
  QPushButton* CopyButton() const { return copy_; }

 private:
  void CopyToClipboard();

  ParsedMessage message_;
  std::vector<QLabel*> labels_;
  QLabel* mark_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* copy_ = nullptr;
};

// Shows a message in the program's dialog and returns when it is dismissed. Tests install a
// handler instead, so that nothing modal waits.
void ShowMessageText(const std::string& cp932);
void SetMessageHandler(std::function<void(const std::string&)> handler);
// The dialog ShowMessageText uses (created on first use).
MessageDialog& TheMessageDialog();

}  // namespace zarvel::app
