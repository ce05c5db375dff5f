// The remnant policy in the window: the check box 端材優先 and its keep length, the note while
// another precision than 最適 is chosen, the run that applies it, and the job file's keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/message.h"
#include "base/cp932.h"
#include "job/job_file.h"
#include "optimiser/remnant_policy.h"
#include "tests/temp_dir.h"

namespace zarvel::app {
namespace {

QRadioButton* PrecisionButton(MainWindow& window, const QString& text) {
  for (QRadioButton* b : window.findChildren<QRadioButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

TEST(PolicyWindow, TheBoxAndItsLengthPlanSaveAndComeBack) {
  testing::TempDir dir("zarvel5-policy-gui");
  qputenv("ZARVEL5_SETTINGS_DIR", QByteArray::fromStdString(dir.File("settings")));
  std::vector<std::string> messages;
  SetMessageHandler([&](const std::string& m) { messages.push_back(m); });
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  auto window = std::make_unique<MainWindow>(*records);
  window->show();
  QApplication::processEvents();
  // Two pieces that fill a mill bar exactly, and two long measured offcuts from the yard.
  window->Grid1()->SetCell(1, 1, "6000.2");
  window->Grid1()->SetCell(1, 2, "3100.2");
  window->Grid2()->SetCell(1, 1, "2997.2");
  window->yard_stock = {base::Lit("H-200"), {{3100, 2}}};
  window->Edit(run::JobField::kPriorityLength)->SetText("  3000");

  // Ticked at 中, the window says the policy needs 最適.
  QTest::mouseClick(window->OffcutsFirst(), Qt::LeftButton);
  ASSERT_TRUE(window->OffcutsFirst()->isChecked());
  EXPECT_TRUE(window->PolicyNote()->isVisible());
  EXPECT_TRUE(window->DataModified());
  window->KeepEdit()->setFocus();
  QTest::keyClicks(window->KeepEdit(), "500");
  QTest::keyClick(window->KeepEdit(), Qt::Key_Return);
  EXPECT_EQ(window->Policy(), (optimiser::RemnantPolicy{true, 500}));
  QRadioButton* optimal = PrecisionButton(*window, QStringLiteral("最適"));
  ASSERT_NE(optimal, nullptr);
  QTest::mouseClick(optimal, Qt::LeftButton);
  EXPECT_FALSE(window->PolicyNote()->isVisible());

  QTest::mouseClick(window->RunButton(), Qt::LeftButton);
  EXPECT_TRUE(messages.empty());
  ASSERT_TRUE(window->Planned());
  EXPECT_EQ(records->conditions.policy, (optimiser::RemnantPolicy{true, 500}));
  EXPECT_EQ(optimiser::PolicyOf(*records).mill, 0);  // the offcuts, not the mill bar
  EXPECT_EQ(optimiser::PolicyOf(*records).scrap, 200);

  // Saved as two keys after the others; a fresh job has neither, and the file brings them back.
  const std::string path = dir.File("policy.zv5");
  ASSERT_TRUE(job::WriteJobFile(*window, path));
  const std::vector<std::string> lines = job::JobFileLines(*window);
  const auto first = std::find(lines.begin(), lines.end(), "OffcutsFirst = 1");
  ASSERT_NE(first, lines.end());
  EXPECT_EQ(*(first + 1), "OffcutKeep = 500");
  job::ApplyFreshJob(*window);
  EXPECT_FALSE(window->OffcutsFirst()->isChecked());
  for (const std::string& line : job::JobFileLines(*window))
    EXPECT_EQ(line.rfind("Offcut", 0), std::string::npos) << line;
  ASSERT_TRUE(window->OpenJob(QString::fromStdString(path)));
  EXPECT_TRUE(window->OffcutsFirst()->isChecked());
  EXPECT_EQ(window->Policy(), (optimiser::RemnantPolicy{true, 500}));
  EXPECT_FALSE(window->DataModified());

  // Unticked, the job asks for nothing any more.
  QTest::mouseClick(window->OffcutsFirst(), Qt::LeftButton);
  EXPECT_FALSE(window->Policy().offcuts_first);
  EXPECT_TRUE(window->DataModified());
  window->SetDataModified(false);
  window.reset();
  SetMessageHandler(nullptr);
}

}  // namespace
}  // namespace zarvel::app
