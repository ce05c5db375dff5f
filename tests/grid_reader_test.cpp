#include "run/grid_reader.h"

#include <gtest/gtest.h>

#include "base/cell_text.h"
#include "tests/fakes.h"

namespace zarvel::run {
using namespace zarvel::optimiser;
namespace {

using testing::FakeForm;

TEST(GridReader, ReadsLengthsAndCounts) {
  MemoryGrid grid(3, 19);
  FakeForm::Fill(grid, {"5500.3", "5500", "5500.", "5500.0", "5500.-2", "1", "0", "-300", "   ",
                        "abc", "1.5"});
  LengthList list;
  ReadGridIntoList(list, grid, false);
  ASSERT_EQ(list.count, 5);
  EXPECT_EQ(list.entries[1].quantity, 3);
  for (int k = 2; k <= 5; ++k) {
    EXPECT_EQ(list.entries[k].length, 5500);
    EXPECT_EQ(list.entries[k].quantity, 1);
  }
}

TEST(GridReader, SortsWithoutMergingAndPacksTheGrid) {
  MemoryGrid grid(3, 19);
  grid.SetCell(2, 4, "3000.2");
  grid.SetCell(1, 7, "6000.1");
  grid.SetCell(2, 18, "3000.1");
  LengthList list;
  ReadGridIntoList(list, grid, false);
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list.entries[1].length, 3000);
  EXPECT_EQ(list.entries[1].quantity, 2);
  EXPECT_EQ(list.entries[2].length, 3000);
  EXPECT_EQ(list.entries[2].quantity, 1);
  EXPECT_EQ(list.entries[3].length, 6000);
  EXPECT_EQ(grid.Cell(1, 1), " 3000.  2");
  EXPECT_EQ(grid.Cell(2, 1), " 3000.  1");
  EXPECT_EQ(grid.Cell(1, 2), " 6000.  1");
  EXPECT_EQ(grid.Cell(2, 4), "");
  EXPECT_EQ(grid.Cell(2, 18), "");
  // Fixed cells are never touched.
  EXPECT_EQ(grid.Cell(0, 1), "");
}

TEST(GridReader, VerticalOrderFillsDownTheFirstColumn) {
  MemoryGrid grid(3, 19);
  std::vector<std::string> cells;
  for (int i = 0; i < 20; ++i) cells.push_back(std::to_string(5000 + 100 * i) + ".2");
  FakeForm::Fill(grid, cells);
  LengthList list;
  ReadGridIntoList(list, grid, true);
  ASSERT_EQ(list.count, 20);
  for (int r = 1; r <= 18; ++r) EXPECT_EQ(grid.Cell(1, r), base::FormatCellText(cells[r - 1]));
  EXPECT_EQ(grid.Cell(2, 1), base::FormatCellText(cells[18]));
  EXPECT_EQ(grid.Cell(2, 2), base::FormatCellText(cells[19]));
  EXPECT_EQ(grid.Cell(2, 3), "");
}

TEST(GridReader, CellsBeyondCapacityAreNotStored) {
  MemoryGrid grid(7, 21);  // 120 data cells, as a job file could make it
  std::vector<std::string> cells;
  for (int i = 0; i < 110; ++i) cells.push_back(std::to_string(1000 + i) + ".1");
  FakeForm::Fill(grid, cells);
  LengthList list;
  ReadGridIntoList(list, grid, false);
  EXPECT_EQ(list.count, kMaxEntries);
  EXPECT_EQ(list.entries[kMaxEntries].length, 1102);
  // The grid is rewritten from the list: the 103rd cell (row 18, column 1) is the last one.
  EXPECT_EQ(grid.Cell(1, 18), base::FormatCellText("1102.1"));
  for (int c = 2; c <= 6; ++c) EXPECT_EQ(grid.Cell(c, 18), "");
  for (int r = 19; r <= 20; ++r)
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(grid.Cell(c, r), "");
}

}  // namespace
}  // namespace zarvel::run
