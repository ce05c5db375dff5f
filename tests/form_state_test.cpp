#include "job/form_state.h"

#include <gtest/gtest.h>

#include "run/grid.h"

namespace zarvel::job {
namespace {

// A control of any kind, holding whatever its kind stores.
class AnyControl final : public SavedControl {
 public:
  AnyControl(std::string name, SavedKind kind) : name_(std::move(name)), kind_(kind) {}
  std::string Name() const override { return name_; }
  SavedKind Kind() const override { return kind_; }
  std::string Text() const override { return text; }
  void SetText(const std::string& t) override { text = t; }
  int ItemIndex() const override { return index; }
  void SetItemIndex(int i) override { index = i; }
  int ItemCount() const override { return 3; }
  bool Checked() const override { return checked; }
  void SetChecked(bool c) override { checked = c; }
  std::vector<std::string> Items() const override { return items; }
  void SetItems(const std::vector<std::string>& i) override { items = i; }

  std::string text;
  int index = -1;
  bool checked = false;
  std::vector<std::string> items;

 private:
  std::string name_;
  SavedKind kind_;
};

TEST(FormState, EveryKindRoundTrips) {
  AnyControl label("lbNote", SavedKind::kStaticText);
  AnyControl combo("cbUnit", SavedKind::kComboBox);
  AnyControl group("RgMode", SavedKind::kRadioGroup);
  AnyControl named("rbOne", SavedKind::kRadioButton);
  AnyControl unnamed(" ", SavedKind::kRadioButton);
  AnyControl speed("sbLock", SavedKind::kSpeedButton);
  AnyControl list("lbFiles", SavedKind::kListBox);
  AnyControl panel("Panel1", SavedKind::kOther);
  label.text = "note";
  combo.index = 2;
  group.index = 1;
  named.checked = true;
  unnamed.checked = true;
  speed.checked = true;
  list.items = {"a.zv5", "b c.zv5"};
  const std::vector<SavedControl*> controls = {&label,   &combo, &group, &named,
                                               &unnamed, &speed, &list,  &panel};
  std::vector<std::string> lines;
  SaveFormState(lines, "F", controls);
  EXPECT_EQ(lines, (std::vector<std::string>{"[F]", "lbNote = note", "cbUnit = 2", "RgMode = 1",
                                             "rbOne = 1", "sbLock = 1", "lbFiles = 2", "a.zv5",
                                             "b c.zv5"}));

  AnyControl label2("lbNote", SavedKind::kStaticText);
  AnyControl combo2("cbUnit", SavedKind::kComboBox);
  AnyControl group2("RgMode", SavedKind::kRadioGroup);
  AnyControl named2("rbOne", SavedKind::kRadioButton);
  AnyControl speed2("sbLock", SavedKind::kSpeedButton);
  AnyControl list2("lbFiles", SavedKind::kListBox);
  ASSERT_TRUE(LoadFormState(lines, "F", {&label2, &combo2, &group2, &named2, &speed2, &list2}));
  EXPECT_EQ(label2.text, "note");
  EXPECT_EQ(combo2.index, 2);
  EXPECT_EQ(group2.index, 1);
  EXPECT_TRUE(named2.checked);
  EXPECT_TRUE(speed2.checked);
  EXPECT_EQ(list2.items, list.items);
}

TEST(FormState, SectionsNamesAndClamping) {
  AnyControl group("RgMode", SavedKind::kRadioGroup);
  AnyControl list("lbFiles", SavedKind::kListBox);
  AnyControl text("edA", SavedKind::kEdit);
  const std::vector<std::string> lines = {"[Other]",    "edA = wrong", "[F]", "RgMode = 7",
                                          "rgmode = 0", "lbFiles = 5", "one", "two",
                                          "[G]",        "edA = late"};
  ASSERT_TRUE(LoadFormState(lines, "F", {&group, &list, &text}));
  EXPECT_EQ(group.index, 2);  // clamped to the last item; the lower-case name matches nothing
  EXPECT_EQ(list.items, (std::vector<std::string>{"one", "two"}));  // stops at the section end
  EXPECT_EQ(text.text, "");
  EXPECT_FALSE(LoadFormState(lines, "Missing", {&group}));
  group.index = 0;
  ASSERT_TRUE(LoadFormState({"[F]", "RgMode = -9"}, "F", {&group}));
  EXPECT_EQ(group.index, -1);
}

// A grid control that holds at most `capacity` rows and remembers the most it was asked for.
class SmallGrid final : public SavedControl {
 public:
  SmallGrid(std::string name, int capacity) : name_(std::move(name)), capacity_(capacity) {}
  std::string Name() const override { return name_; }
  SavedKind Kind() const override { return SavedKind::kStringGrid; }
  run::Grid* Cells() override { return &grid; }
  void SetRowCount(int rows) override {
    most_rows = std::max(most_rows, rows);
    grid.Resize(2, rows);
  }
  int Capacity() const override { return capacity_; }

  run::MemoryGrid grid{2, 0};
  int most_rows = 0;

 private:
  std::string name_;
  int capacity_;
};

TEST(FormState, CountsBeyondWhatAControlHoldsSkipTheirLines) {
  SmallGrid grid("Grid", 3);
  AnyControl a("edA", SavedKind::kEdit);
  AnyControl b("edB", SavedKind::kEdit);
  AnyControl list("lbFiles", SavedKind::kListBox);
  // Five rows announced and there; the grid keeps three, the other two are its lines all the
  // same (one of them looks like a field line).
  const std::vector<std::string> lines = {
      "[F]", "Grid = 5", "0,a", "1,b", "2,c", "3,d", "edA = inside the grid", "edB = after"};
  ASSERT_TRUE(LoadFormState(lines, "F", {&grid, &a, &b}));
  EXPECT_EQ(grid.most_rows, 3);
  EXPECT_EQ(grid.grid.Cell(1, 2), "c");
  EXPECT_EQ(a.text, "");
  EXPECT_EQ(b.text, "after");

  std::vector<std::string> many = {"[F]", "lbFiles = 5000"};
  for (int i = 0; i < 4000; ++i) many.push_back("item");
  many.push_back("edB = last");  // read as an item: the count reaches past it
  b.text.clear();
  ASSERT_TRUE(LoadFormState(many, "F", {&list, &b}));
  EXPECT_EQ(list.items.size(), static_cast<std::size_t>(SavedControl::kDefaultCapacity));
  EXPECT_EQ(b.text, "");
}

TEST(FormState, ListsThatStopBeforeTheirCountAreCutShort) {
  SmallGrid grid("Grid", 5);
  AnyControl list("lbFiles", SavedKind::kListBox);
  const struct {
    const char* text;
    bool grid_short, list_short;
    int rows;  // the grid's rows after the load
  } cases[] = {
      {"[F]\nGrid = 3\n0,a\n1,b\n2,c\nlbFiles = 1\nx\n", false, false, 3},
      {"[F]\nGrid = 3\n0,a\n1,b", true, false, 2},                        // the file ends
      {"[F]\nGrid = 3\n0,a\n[Marks]\n1,b\n2,c\n", true, false, 1},        // its section ends
      {"[F]\nGrid = 9\n0,a\n1,b\n2,c\n3,d\n4,e\n5,f\n", true, false, 5},  // beyond: short
      {"[F]\nlbFiles = 2\nx\n", false, true, 0},
      {"[F]\nGrid = 2\n", true, false, 0},
  };
  for (const auto& c : cases) {
    grid.grid.Resize(2, 0);
    SectionLoad found;
    ASSERT_TRUE(LoadFormStateText(c.text, "F", {&grid, &list}, &found)) << c.text;
    EXPECT_EQ(found.cut_short[0], c.grid_short) << c.text;
    EXPECT_EQ(found.cut_short[1], c.list_short) << c.text;
    EXPECT_EQ(grid.grid.RowCount(), c.rows) << c.text;
  }
}

TEST(FormState, TextIsReadAsItsLines) {
  AnyControl a("edA", SavedKind::kEdit);
  AnyControl b("edB", SavedKind::kEdit);
  AnyControl list("lbFiles", SavedKind::kListBox);
  const std::string text = "caption\r\n[F]\redA = 1\nlbFiles = 3\r\n\r\n\nthird\r\r\nedB = 2";
  ASSERT_TRUE(LoadFormStateText(text, "F", {&a, &b, &list}));
  EXPECT_EQ(a.text, "1");
  EXPECT_EQ(list.items, (std::vector<std::string>{"", "", "third"}));
  EXPECT_EQ(b.text, "2");  // the empty line between is no key
  EXPECT_FALSE(LoadFormStateText("[G]\nedA = 3", "F", {&a}));
  EXPECT_EQ(a.text, "1");
}

TEST(FormState, ValuesNeverBreakALine) {
  AnyControl name("edKname", SavedKind::kEdit);
  AnyControl list("lbFiles", SavedKind::kListBox);
  name.text = "ABC\r\n[memo]\nedSiro = 99\r";
  list.items = {"a\nb"};
  std::vector<std::string> lines;
  SaveFormState(lines, "F", {&name, &list});
  EXPECT_EQ(lines, (std::vector<std::string>{"[F]", "edKname = ABC  [memo] edSiro = 99 ",
                                             "lbFiles = 1", "a b"}));
}

}  // namespace
}  // namespace zarvel::job
