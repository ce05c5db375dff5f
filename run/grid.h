// A grid of "length.count" cells as the optimiser sees it: the window's grids and the
// headless job form both implement this.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace zarvel::run {

class Grid {
 public:
  virtual ~Grid() = default;
  // Row 0 and column 0 are the fixed heading and row numbers; data cells start at 1.
  virtual int RowCount() const = 0;
  virtual int ColCount() const = 0;
  virtual std::string Cell(int col, int row) const = 0;  // CP932
  virtual void SetCell(int col, int row, const std::string& text) = 0;
  // Called after the grid was rewritten, as when the grid loses the focus.
  virtual void Refresh() {}

  // Texts typed or loaded that read other than they look, kept after their cells were
  // rewritten in canonical form so that the next run can still name them (CP932).
  std::vector<std::string> typed_texts;
};

}  // namespace zarvel::run

#include <vector>

namespace zarvel::run {

// A grid held in memory: the headless job form's grids, and the tests'.
class MemoryGrid : public Grid {
 public:
  MemoryGrid(int cols, int rows) { Resize(cols, rows); }

  int RowCount() const override { return rows_; }
  int ColCount() const override { return cols_; }
  std::string Cell(int col, int row) const override {
    return InRange(col, row) ? cells_[Index(col, row)] : std::string();
  }
  void SetCell(int col, int row, const std::string& text) override {
    if (InRange(col, row)) cells_[Index(col, row)] = text;
  }
  // Keeps the cells that stay inside the new size.
  void Resize(int cols, int rows) {
    cols = std::max(cols, 0);
    rows = std::max(rows, 0);
    std::vector<std::string> cells(static_cast<std::size_t>(cols) * rows);
    for (int r = 0; r < std::min(rows, rows_); ++r)
      for (int c = 0; c < std::min(cols, cols_); ++c)
        cells[static_cast<std::size_t>(r) * cols + c] = std::move(cells_[Index(c, r)]);
    cells_ = std::move(cells);
    cols_ = cols;
    rows_ = rows;
  }

 private:
  bool InRange(int col, int row) const {
    return col >= 0 && row >= 0 && col < cols_ && row < rows_;
  }
  std::size_t Index(int col, int row) const { return static_cast<std::size_t>(row) * cols_ + col; }

  int cols_ = 0;
  int rows_ = 0;
  std::vector<std::string> cells_;
};

}  // namespace zarvel::run
