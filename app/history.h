// The change-history window: the release notes in a read-only memo, shown without blocking.
#pragma once

#include <QDialog>
#include <QPlainTextEdit>

namespace zarvel::app {

class HistoryWindow final : public QDialog {
 public:
  explicit HistoryWindow(QWidget* parent = nullptr);
  // Sets the text afresh and shows the window (bringing it forward when already open).
  void ShowHistory();
  QPlainTextEdit* Memo() const { return memo_; }

 private:
  QPlainTextEdit* memo_;
};

}  // namespace zarvel::app
