#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/ResultsForm.h"
#include "app/TabBox.h"

namespace zp::test {
namespace {

struct Route {
  std::string entry;
  std::int32_t score;
};

class ResultsFormTest : public ::testing::Test {
 protected:
  // Runs ShowResults on a finished run with `code` and `routes`, reading the window while
  // it is up and closing it with its button.
  void Show(std::int32_t code, const std::vector<Route>& routes) {
    RunSnapshot run;
    run.finished = true;
    run.result_code = code;
    for (const Route& r : routes) {
      RouteResult result;
      result.entry = r.entry;
      result.score = r.score;
      run.routes.push_back(result);
    }
    bool was_modal = false;
    ModalWatcher watcher([&](QWidget* modal) {
      was_modal = modal == &form;
      banner = label()->text();
      lines = Lines(*box());
      QTest::mouseClick(form.findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    });
    form.ShowResults(run);
    EXPECT_TRUE(was_modal);
    EXPECT_EQ(form.windowTitle(), "Results");
    EXPECT_FALSE(form.isVisible());
  }
  QLabel* label() { return form.findChild<QLabel*>("lblShowResult"); }
  ZTabListBox* box() { return form.findChild<ZTabListBox*>("tlbResults"); }

  TfrmResults form;
  QString banner;
  QStringList lines;
};

TEST_F(ResultsFormTest, EachCodeShowsItsWordAndOneLinePerRoute) {
  Show(2, {{"Gateway1=10.0.0.1:26881", 25}, {"Gateway2=10.0.0.2:26881", 7}});
  EXPECT_EQ(banner, "SOME ROUTES FAILED");
  EXPECT_EQ(lines, (QStringList{"Score\tRoute", "    25\tGateway1=10.0.0.1:26881",
                                "     7\tGateway2=10.0.0.2:26881"}));

  Show(1, {{"G=1.2.3.4:5", 1234567}});  // wider than six digits: not cut
  EXPECT_EQ(banner, "SUCCESS");
  EXPECT_EQ(lines, (QStringList{"Score\tRoute", "1234567\tG=1.2.3.4:5"}));

  Show(0, {});
  EXPECT_EQ(banner, "FAILURE");
  EXPECT_EQ(lines, QStringList{"Score\tRoute"});
}

TEST_F(ResultsFormTest, UnknownCodeKeepsTheWordButReplacesTheLines) {
  Show(3, {{"A=1.1.1.1:1", -4}});
  EXPECT_EQ(banner, "<<show result>>");
  EXPECT_EQ(lines, (QStringList{"Score\tRoute", "    -4\tA=1.1.1.1:1"}));

  Show(1, {});
  Show(3, {});
  EXPECT_EQ(banner, "SUCCESS");
  EXPECT_EQ(lines, QStringList{"Score\tRoute"});
}

TEST_F(ResultsFormTest, RouteColumnLinesUpUnderTheHeading) {
  Show(1, {{"A=1", 5}, {"B=2", 999999}, {"C=3", -99999}});
  const qreal heading = ColumnX(*box(), lines[0], 1);
  for (const QString& line : lines) EXPECT_DOUBLE_EQ(ColumnX(*box(), line, 1), heading) << line.toStdString();
}

// A route text comes from the network: what is no text is shown escaped, never as layout.
TEST_F(ResultsFormTest, ControlsAndBytesThatAreNoTextShowEscaped) {
  Show(1, {{std::string("R\xE9=1\x7F\x1B[2J", 9), 3}});
  EXPECT_EQ(lines[1], QString::fromLatin1("     3\tR\\xE9=1\\x7F\\x1B[2J"));
}

}  // namespace
}  // namespace zp::test
