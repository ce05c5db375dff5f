#include "drawing/page_context.h"

namespace zarvel::drawing {

PageContext& CurrentPageContext() {
  // Never destroyed: drawing may still happen while static objects are torn down.
  static PageContext* context = new PageContext;
  return *context;
}

void ResetPageContext() {
  CurrentPageContext() = PageContext{};
}

}  // namespace zarvel::drawing
