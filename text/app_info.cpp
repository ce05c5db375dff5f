#include "text/app_info.h"

#include "text/cp932.h"

namespace zarvel::text {

const std::string& ApplicationTitle() {
  return Lit("棒材Zarvel５");
}

}  // namespace zarvel::text
