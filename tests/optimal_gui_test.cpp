// The window after a run at 最適: the remnant rate as at the other precisions, then where the
// plan stands, both lines inside the label.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/main_window.h"
#include "app/message.h"
#include "base/cp932.h"
#include "platform/qt_host.h"
#include "tests/temp_dir.h"

namespace zarvel::app {
namespace {

TEST(OptimalWindow, LabelShowsTheRateAndThatThePlanIsOptimal) {
  testing::TempDir settings("zarvel5-optimal-gui");
  qputenv("ZARVEL5_SETTINGS_DIR", QByteArray::fromStdString(settings.File("settings")));
  std::vector<std::string> messages;
  SetMessageHandler([&](const std::string& m) { messages.push_back(m); });
  auto records = std::make_unique<optimiser::OptimiserRecords>();
  auto window = std::make_unique<MainWindow>(*records);
  window->show();
  QApplication::processEvents();
  QRadioButton* optimal = nullptr;
  for (QRadioButton* b : window->findChildren<QRadioButton*>())
    if (b->text() == QStringLiteral("最適")) optimal = b;
  ASSERT_NE(optimal, nullptr);
  QTest::mouseClick(optimal, Qt::LeftButton);
  ASSERT_TRUE(optimal->isChecked());
  window->Grid1()->SetCell(1, 1, "5500.10");
  window->Grid2()->SetCell(1, 1, "2700.4");
  QTest::mouseClick(window->RunButton(), Qt::LeftButton);
  EXPECT_TRUE(messages.empty());
  QLabel* label = window->ProgressLabel();
  EXPECT_EQ(label->text(), QStringLiteral("(100)   1.709 %\n最適解 1 パターン"));
  EXPECT_TRUE(records->proven_optimal);
  // The longest lines a run can leave still fit the label (in a smaller font if need be), and a
  // short one gets the label's own font back.
  const QFont own = label->font();
  platform::LabelProgress progress(label);
  for (const char* longest : {"(中止)  12.345 %\n下限との差 9999.9 m 2000 パターン",
                              "(100)  12.345 %\n下限まで 9999.9 m 以内 2000 パターン"}) {
    progress.SetProgressText(base::Lit(longest));
    EXPECT_LE(label->sizeHint().width(), label->width()) << longest;
    EXPECT_LE(label->sizeHint().height(), label->height()) << longest;
    EXPECT_LT(label->font().pixelSize() + label->font().pointSize(),
              own.pixelSize() + own.pointSize());
  }
  progress.SetProgressText("(100)   1.709 %");
  EXPECT_EQ(label->font(), own);
  window->SetDataModified(false);
  window.reset();
  SetMessageHandler(nullptr);
}

}  // namespace
}  // namespace zarvel::app
