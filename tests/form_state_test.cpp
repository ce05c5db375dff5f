#include "job/form_state.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zarvel::job
