// CP932 <-> QString at the boundary between the core and the widgets.
#pragma once

#include <QString>
#include <string>

#include "base/cp932.h"

namespace zarvel::app {

inline QString Qs(const std::string& cp932) {
  return QString::fromUtf8(base::Cp932ToUtf8(cp932));
}
inline std::string Cp(const QString& s) {
  return base::Utf8ToCp932(s.toStdString());
}

}  // namespace zarvel::app
