#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <string>

#include "AppTestSupport.h"
#include "app/TabBox.h"
#include "app/TraceList.h"

namespace zp::test {
namespace {

class TraceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box.resize(400, 200);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QObject::connect(box.model(), &QAbstractItemModel::rowsInserted, [this] { ++insertions; });
  }
  void Append(int count, int first = 0) {
    for (int i = first; i < first + count; ++i)
      trace.Append({"ExpressT", "Mon 12/07 00:17:09", std::string(static_cast<std::size_t>(i % 50), 'x')});
  }

  ZTabListBox box;
  TTraceList trace{&box};
  int insertions = 0;
};

TEST_F(TraceListTest, ADumpReachesTheListInBurstsWithTheNewestLineInView) {
  Append(3000);
  EXPECT_EQ(trace.Count(), 3000);
  ASSERT_TRUE(QTest::qWaitFor([&] { return box.Count() == 3000; }, 2000));
  // One layout per burst, not one per line.
  EXPECT_LE(insertions, 3);
  const int rows = box.viewport()->height() / box.ItemHeight();
  EXPECT_GE(box.TopIndex() + rows, box.Count());

  // The scrollable width fits the widest line, tabs expanded, with a character to spare.
  int widest = 0;
  for (const QString& line : Lines(box)) widest = std::max(widest, static_cast<int>(ColumnX(box, line, 2) + 0.5) + box.fontMetrics().horizontalAdvance(line.section(u'\t', 2)));
  EXPECT_NEAR(trace.MaxLineWidth(), widest, 2);
  EXPECT_EQ(box.HorizontalExtent(), trace.MaxLineWidth() + trace.CharWidth());
  EXPECT_EQ(box.Line(0), "ExpressT\tMon 12/07 00:17:09\t");
}

// Back empties the trace: nothing is left to scroll sideways to.
TEST_F(TraceListTest, ClearDropsWaitingLinesAndTheScrollWidth) {
  Append(100);
  trace.Flush();
  box.horizontalScrollBar()->setValue(box.horizontalScrollBar()->maximum());
  ASSERT_GT(box.horizontalScrollBar()->maximum(), 0);
  Append(5, 100);
  trace.Clear();
  EXPECT_EQ(trace.Count(), 0);
  QTest::qWait(2 * TTraceList::kBurstMs);
  EXPECT_EQ(box.Count(), 0);
  EXPECT_EQ(box.HorizontalExtent(), 0);
  EXPECT_EQ(box.horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(trace.MaxLineWidth(), 0);

  // Copying or saving shows what waits first.
  Append(2);
  EXPECT_EQ(trace.Text(false), "ExpressT\tMon 12/07 00:17:09\t\nExpressT\tMon 12/07 00:17:09\tx\n");
}

// The first line too wide for the list brings a horizontal scroll bar, which takes room
// from the lines: the newest still shows whole, above it.
TEST_F(TraceListTest, TheNewestLineShowsWholeWhenAScrollBarComes) {
  for (int i = 0; i < 40; ++i) trace.Append({"ExpressT", "Mon 12/07 00:17:09", "x"});  // more than the list shows
  trace.Flush();
  ASSERT_EQ(box.horizontalScrollBar()->maximum(), 0);
  trace.Append({"ExpressT", "Mon 12/07 00:17:09", std::string(200, 'w')});
  trace.Flush();
  ASSERT_GT(box.horizontalScrollBar()->maximum(), 0);
  const QRect newest = box.visualRect(box.model()->index(box.Count() - 1, 0));
  EXPECT_GE(newest.top(), 0);
  EXPECT_LE(newest.bottom(), box.viewport()->height() - 1);
}

// Hex dump columns line up only when every character is as wide as the next; the tab
// stops still apply, measured in that font.
TEST_F(TraceListTest, TheTraceIsFixedPitchAndItsColumnsAgree) {
  EXPECT_TRUE(QFontInfo(box.font()).fixedPitch()) << box.font().family().toStdString();
  const QFontMetrics fm(box.font());
  EXPECT_EQ(trace.CharWidth(), fm.horizontalAdvance(u'0'));
  EXPECT_EQ(fm.horizontalAdvance("0000: 41 42 43 ABC"), fm.horizontalAdvance("0010: ff 0a 7e ~~~"));
  const QString a = "ExpressT\tMon 12/07 00:17:09\tx", b = "Ex\tTue 12/08 01:02:03\tx";
  EXPECT_EQ(ColumnX(box, a, 1), ColumnX(box, b, 1));
  EXPECT_EQ(ColumnX(box, a, 2), ColumnX(box, b, 2));
  EXPECT_GT(ColumnX(box, a, 1), fm.horizontalAdvance("ExpressT"));
}

// The scroll width is worked out rather than measured: each character's display columns
// times the character width, with the stops as painted. A wide character takes two
// columns, a combining mark none; a long line still ends where it is painted.
TEST_F(TraceListTest, TheWidthCountsDisplayColumns) {
  const struct {
    QString line, same_as;
  } cases[] = {
      {QString::fromUtf16(u"\u65E5\u672C"), "abcd"},
      {QString::fromUtf16(u"e\u0301x"), "ex"},
      {QString::fromUtf16(u"\U0001F600"), "ab"},
      {QString::fromUtf16(u"\u4E2D\tx"), "ab\tx"},
      {QString::fromUtf16(u"\uFF21\uFF22"), "abcd"},
  };
  for (const auto& c : cases) EXPECT_EQ(box.ColumnWidth(c.line), box.ColumnWidth(c.same_as)) << c.same_as.toStdString();
  const QString text(300, u'x');
  const QString line = "ExpressT\tMon 12/07 00:17:09\t" + text;
  EXPECT_NEAR(box.ColumnWidth(line), ColumnX(box, line, 2) + QFontMetricsF(box.font()).horizontalAdvance(text), 1.0);
}

// A line from a peer that holds terminal controls shows them escaped, never as layout.
TEST_F(TraceListTest, ControlsFromThePeerShowEscaped) {
  trace.Append({"ExpressT", "Mon 12/07 00:17:09", "01 \"\x1B[2J\x07r1=127.0.0.1:1\""});
  trace.Flush();
  EXPECT_EQ(box.Line(0), "ExpressT\tMon 12/07 00:17:09\t01 \"\\x1B[2J\\x07r1=127.0.0.1:1\"");
  EXPECT_EQ(trace.Text(false), box.Line(0) + "\n");
}

}  // namespace
}  // namespace zp::test
