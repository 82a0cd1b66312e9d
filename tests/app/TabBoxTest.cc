#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>
#include <utility>
#include <vector>

#include "AppTestSupport.h"
#include "app/TabBox.h"

namespace zp::test {
namespace {

class TabBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box.resize(300, 200);
    for (int i = 0; i < 5; ++i) box.AddLine(QString("line %1").arg(i));
    box.OnChange = [this](ZTabListBox* sender, int prev) {
      EXPECT_EQ(sender, &box);
      changes.push_back(prev);
    };
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  }
  void Click(int row) {
    const QRect rect = box.visualRect(box.model()->index(row, 0));
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, rect.center());
  }

  ZTabListBox box;
  std::vector<int> changes;
};

TEST_F(TabBoxTest, OperatorChangesReportOnlyRealChangesProgramSetsAlwaysReport) {
  box.SetItemIndex(0);
  EXPECT_EQ(changes, (std::vector<int>{-1}));

  Click(2);
  EXPECT_EQ(box.ItemIndex(), 2);
  EXPECT_EQ(changes, (std::vector<int>{-1, 0}));

  Click(2);  // the same line again: no change, no call
  EXPECT_EQ(changes, (std::vector<int>{-1, 0}));

  box.SetItemIndex(2);  // the program's request reports even without a change
  EXPECT_EQ(changes, (std::vector<int>{-1, 0, 2}));
  EXPECT_EQ(box.PrevItemIndex(), 2);

  box.setFocus();
  QTest::keyClick(&box, Qt::Key_Down);
  EXPECT_EQ(box.ItemIndex(), 3);
  EXPECT_EQ(changes, (std::vector<int>{-1, 0, 2, 2}));
  EXPECT_EQ(box.PrevItemIndex(), 3);
}

TEST_F(TabBoxTest, OneStopRepeatsSeveralStopsAreExact) {
  const qreal unit = box.AverageCharWidth() / 4.0;
  const QString line = "a\tb\tc";
  box.SetTabStops({40});
  EXPECT_DOUBLE_EQ(ColumnX(box, line, 1), 40 * unit);
  EXPECT_DOUBLE_EQ(ColumnX(box, line, 2), 80 * unit);

  box.SetTabStops({40, 120});
  EXPECT_DOUBLE_EQ(ColumnX(box, line, 1), 40 * unit);
  EXPECT_DOUBLE_EQ(ColumnX(box, line, 2), 120 * unit);

  // Columns line up whatever the width of the text before the tab.
  box.SetTabStops({50, 100});
  EXPECT_DOUBLE_EQ(ColumnX(box, "ExpressT\tMon 12/07 00:17:09\tx", 2),
                   ColumnX(box, "E\tWed 01/01 23:59:59\tx", 2));
}

TEST_F(TabBoxTest, HorizontalExtentSetsTheSidewaysScrollRange) {
  const int visible = box.viewport()->width();
  box.SetHorizontalExtent(visible + 500);
  QCoreApplication::processEvents();
  EXPECT_EQ(box.horizontalScrollBar()->maximum(), visible + 500 - box.viewport()->width());
  EXPECT_TRUE(box.horizontalScrollBar()->isVisible());
  box.SetHorizontalExtent(10);
  QCoreApplication::processEvents();
  EXPECT_EQ(box.horizontalScrollBar()->maximum(), 0);
}

TEST_F(TabBoxTest, TopIndexIsClampedAndControlBytesStayInOneLine) {
  box.Clear();
  for (int i = 0; i < 1000; ++i) box.AddLine(QString("row\t%1").arg(i));
  box.SetTopIndex(5000);
  const int rows = box.viewport()->height() / box.ItemHeight();
  EXPECT_EQ(box.TopIndex(), 1000 - rows);
  EXPECT_EQ(box.indexAt({1, rows * box.ItemHeight() - 1}).row(), 999);
  EXPECT_FALSE(box.indexAt({1, box.viewport()->height() + 5}).isValid());

  box.AddLine(QString::fromLatin1("a\r\nb\x01"));
  EXPECT_EQ(box.Count(), 1001);
  EXPECT_EQ(box.Line(1000), QString::fromLatin1("a\r\nb\x01"));  // kept as received
  box.Clear();
  EXPECT_EQ(box.Count(), 0);
  EXPECT_EQ(box.ItemIndex(), -1);
}

}  // namespace
}  // namespace zp::test
