// The little the core needs to know of a user-interface control to read a number from it.
#pragma once

#include <string>

namespace zarvel::base {

enum class ControlKind { kLabel, kEdit, kComboBox, kCheckBox, kOther };

class Control {
 public:
  virtual ~Control() = default;
  virtual ControlKind Kind() const = 0;
  // The control's text in CP932 (label caption, edit text, combo box text).
  virtual std::string Text() const = 0;
  // Ticked state of a check box; false for anything else.
  virtual bool Checked() const { return false; }
};

}  // namespace zarvel::base
