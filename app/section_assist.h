// The member name field's help with standard sections: completions while typing, the unit
// weight filled from the section table, and a quiet note when a typed weight differs from it.
#pragma once

#include <QCompleter>
#include <QLabel>
#include <QObject>
#include <QStringListModel>
#include <functional>

#include "app/controls.h"

namespace zarvel::app {

class SectionAssist final : public QObject {
 public:
  // `member` and `weight` are the 部材名 and 単位重量 fields; the note goes on `panel`.
  SectionAssist(NumEdit* member, NumEdit* weight, QWidget* panel);

  QCompleter* Completer() const { return completer_; }
  QLabel* Note() const { return note_; }

  // Asked before a chosen section replaces a unit weight the user typed; true replaces it.
  // Tests set their own answer.
  std::function<bool(const QString& question)> ask_replace;

  // What choosing a completion does: the member name becomes `text`, the weight is filled.
  void Choose(const QString& text);
  // Shows or hides the note from the two fields as they stand.
  void UpdateNote();

  // At most this many completions are offered at once.
  static constexpr int kMaxCompletions = 40;

 protected:
  // Enter on a chosen completion takes it and stays in the field.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void UpdateCompletions(const QString& text);

  NumEdit* member_;
  NumEdit* weight_;
  QLabel* note_;
  QCompleter* completer_;
  QStringListModel* model_;
};

}  // namespace zarvel::app
