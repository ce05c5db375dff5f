// What loading and saving a job needs from the window that holds it. The headless job form and
// the main window both provide it.
#pragma once

#include <string>
#include <vector>

#include "job/form_state.h"
#include "optimiser/records.h"

namespace zarvel::job {

inline constexpr const char* kFormSection = "FmUnit1";
// The preview's check box for the cutting diagrams, saved after the 54 lines of older files.
inline constexpr const char* kCutDiagramControl = "CbMeisaiC";

class JobWindow {
 public:
  virtual ~JobWindow() = default;
  // The saved controls in file order.
  virtual std::vector<SavedControl*> PersistentControls() = 0;
  // Headings, row numbers and the fixed row counts of both grids.
  virtual void GridFrameSetup() = 0;
  // Both grids read, sorted and packed again (the vertical-order handler).
  virtual void RelayoutGrids() = 0;
  // After a load: e.g. the focus to the project name when the window is visible.
  virtual void AfterLoad() {}
  virtual void SetDataModified(bool modified) = 0;
  // The caption written as a job file's first line (CP932).
  virtual std::string Caption() const = 0;
  // The piece marks kept beside the cut list, saved after the controls; null where the window
  // keeps none.
  virtual std::vector<optimiser::PieceMark>* MarkList() { return nullptr; }
};

}  // namespace zarvel::job
