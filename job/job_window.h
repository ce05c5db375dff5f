// What loading and saving a job needs from the window that holds it. The headless job form and
// the main window both provide it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "job/form_state.h"
#include "optimiser/records.h"

namespace zarvel::job {

inline constexpr const char* kFormSection = "FmUnit1";
// The preview's check box for the cutting diagrams, saved after the 54 lines of older files.
inline constexpr const char* kCutDiagramControl = "CbMeisaiC";

// Keys of the lines a job whose stock came from the yard adds to its section.
inline constexpr const char* kYardSectionKey = "YardSection";
inline constexpr const char* kYardMeasuredKey = "YardMeasured";
// Keys written after those, each only when it holds something: the steel grade of the pieces
// (a job without one takes stock of any grade), and what an import knew to be missing.
inline constexpr const char* kGradeKey = "Grade";
inline constexpr const char* kImportNoteKey = "ImportNote";
// Then, only while the job asks for it, 最適's remnant policy: on, and its keep length (mm).
inline constexpr const char* kOffcutsFirstKey = "OffcutsFirst";
inline constexpr const char* kOffcutKeepKey = "OffcutKeep";

// A job's stock taken from the yard: the section, and per length the bars that are measured
// offcuts (planned without the margin; the length's other bars keep it). Empty for a job typed
// by hand, which then writes nothing of it.
struct YardStockNote {
  std::string section;  // CP932; empty: the stock was not taken from the yard
  std::vector<optimiser::MeasuredBars> measured;  // ascending by length
  bool Empty() const { return section.empty(); }
};

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

  // Saved with the job and read back by a load (which empties them when the file has none).
  YardStockNote yard_stock;
  std::string grade;        // CP932, one line; empty: not known
  std::string import_note;  // CP932, one line; empty: nothing missing
  optimiser::RemnantPolicy policy;
};

}  // namespace zarvel::job
