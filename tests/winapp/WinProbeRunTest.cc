// Whole tests through the native window with scripted workers, for what this window
// draws: each banner, a stopped test, the worker's error box, closing while a box is up
// or the worker floods the thread, and the trace's Copy and Save. The session's own
// cases (one test at a time, closing at every moment, the history) are in its tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "WinFormFixture.h"

#include <commdlg.h>

#include "framework/Errors.h"
#include "winapp/WinFiles.h"
#include "winapp/WinText.h"

namespace zp::test {
namespace {

struct OutcomeCase {
  const char* name;
  std::int32_t code;
  const wchar_t* banner;
  const wchar_t* word;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

class WinOutcomeTest : public WinFormTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(WinOutcomeTest, BannerAndResultsWindowFollowTheResultCode) {
  const OutcomeCase c = GetParam();
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    w.AddRoute("Gateway1=127.0.0.1:26881", 25);
    w.AddRoute("Gateway2=127.0.0.2:26881", 25);
  };
  script.profile = [code = c.code](FakeWorker& w) {
    w.Trace("profiled");
    w.SetStatusText("Profiling done");
    w.SetResultCode(code);
  };
  Test(1, script);
  {
    ASSERT_TRUE(WaitForResults());
    EXPECT_EQ(shown[0].banner, c.word);
    ASSERT_EQ(shown[0].lines.size(), 9u);  // the routes, the key, then what to check next
    EXPECT_EQ(shown[0].lines[0], L"Score\tRoute\tChange\tOutcome");
    EXPECT_EQ(shown[0].lines[6], L"What to check next:");
    EXPECT_EQ(shown[0].lines[1], L"     \u2014\tGateway1=127.0.0.1:26881\t\u2014\tnot scored \u2014 not tried");
    EXPECT_EQ(shown[0].lines[2], L"     \u2014\tGateway2=127.0.0.2:26881\t\u2014\tnot scored \u2014 not tried");
    EXPECT_EQ(shown[0].lines[3], L"");
    EXPECT_EQ(shown[0].lines[4].rfind(L"Public key: ", 0), 0u);
    EXPECT_FALSE(shown[0].legend.empty());
    EXPECT_EQ(Text(C(Ui::kShowThread)), c.banner);
    // The banner stands out by more than colour: bold, larger, and an icon beside it.
    EXPECT_TRUE(form->BannerShown());
    EXPECT_TRUE(form->ResultIconShown());
    EXPECT_TRUE(Visible(C(Ui::kResultIcon)));
  }
  EXPECT_EQ(form->ResultCode(), c.code);
  EXPECT_EQ(Text(C(Ui::kShowState)), L"");
  EXPECT_EQ(Text(C(Ui::kShowStatus)), L"");
  EXPECT_EQ(Text(C(Ui::kProgressText)), L"");
  EXPECT_FALSE(form->PollTimerOn());
  EXPECT_FALSE(Enabled(C(Ui::kProcessStop)));
  EXPECT_TRUE(TraceHas(L"ExpressT\t"));
  EXPECT_TRUE(TraceHas(L"\tprofiled"));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, WinOutcomeTest,
    ::testing::Values(OutcomeCase{"Failure", 0, L"F A I L U R E", L"FAILURE"},
                      OutcomeCase{"Success", 1, L"S U C C E S S", L"SUCCESS"},
                      OutcomeCase{"SomeFailed", 2, L"S O M E   R O U T E S   F A I L E D", L"SOME ROUTES FAILED"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WinFormTest, ProgressFollowsTheRunAndAStoppedTestShowsWhatItFound) {
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    w.AddRoute("G1=1.1.1.1:1", 25);
    w.AddRoute("G2=1.1.1.2:1", 25);
    w.AddRoute("G3=1.1.1.3:1", 25);
  };
  script.profile = [](FakeWorker& w) {
    w.ScoreRoute(0, 4);
    w.SetResultCode(2);
    w.Record().BeginRoute(1);
    w.SetStatusText("Profiling to G2");
    w.WaitForStop();  // never "Halted"
  };
  Test(1, script);
  ASSERT_TRUE(PumpUntil(
      [&] {
        form->tmrProcessTimer();
        return Text(C(Ui::kProgressText)) == L"Profiling route 2 of 3";
      },
      5000));
  EXPECT_EQ(Text(C(Ui::kShowThread)), L"ExpressT");
  EXPECT_EQ(Text(C(Ui::kShowState)), L"UpdateRoutes");
  EXPECT_EQ(Text(C(Ui::kShowStatus)), L"Profiling to G2");
  EXPECT_TRUE(form->PollTimerOn());
  EXPECT_TRUE(Visible(C(Ui::kProgressBar)));
  EXPECT_EQ(SendMessageW(C(Ui::kProgressBar), PBM_GETPOS, 0, 0), 1);
  EXPECT_EQ(SendMessageW(C(Ui::kProgressBar), PBM_GETRANGE, FALSE, 0), 3);

  // One test at a time: Test waits for this one's end.
  EXPECT_FALSE(Enabled(C(Ui::kProcessTest)));
  ASSERT_TRUE(Enabled(C(Ui::kProcessStop)));
  Click(C(Ui::kProcessStop));
  EXPECT_FALSE(Enabled(C(Ui::kProcessStop)));
  ASSERT_TRUE(WaitForResults());
  EXPECT_TRUE(form->LastRun().stopped);
  EXPECT_EQ(shown[0].banner, L"STOPPED");
  ASSERT_GE(shown[0].lines.size(), 4u);
  EXPECT_EQ(shown[0].lines[1], L"     4\tG1=1.1.1.1:1\t\u2014\t4 of 25 detail records missing");
  EXPECT_EQ(shown[0].lines[3], L"     \u2014\tG3=1.1.1.3:1\t\u2014\tnot scored \u2014 not tried \u2014 test stopped");
  EXPECT_TRUE(Enabled(C(Ui::kProcessTest)));
  EXPECT_EQ(Text(C(Ui::kShowThread)), L"S T O P P E D");
  EXPECT_TRUE(form->ResultIconShown());
  EXPECT_FALSE(Visible(C(Ui::kProgressBar)));
  EXPECT_FALSE(TraceHas(L"\tHalted"));
}

TEST_F(WinFormTest, ErrorInTheWorkerShowsTheErrorBoxThenFailure) {
  FakeWorker::Script script;
  script.discover = [](FakeWorker&) { throw ZError("Queue <b>corrupted</b>"); };
  Test(1, script);
  ASSERT_TRUE(WaitForResults());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].dialog.title, L"Error");
  EXPECT_NE(boxes[0].dialog.text.find(L"Queue <b>corrupted</b>"), std::wstring::npos) << Utf8(boxes[0].dialog.text);
  EXPECT_EQ(boxes[0].buttons, std::vector<std::wstring>{L"&Abort"});
  EXPECT_EQ(shown[0].banner, L"FAILURE");
  EXPECT_EQ(Text(C(Ui::kShowThread)), L"F A I L U R E");
  EXPECT_TRUE(TraceHas(L"\tHalted"));
}

TEST_F(WinFormTest, BackDuringATestLeavesTheWorkerRunningAndItsResultStillComes) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  FakeWorker::Script script;
  script.discover = [release](FakeWorker& w) {
    w.AddRoute("G1=1.1.1.1:1", 0);
    while (!*release && !w.Terminated()) w.WaitForEvent(20);
  };
  script.sync = [](FakeWorker& w) { w.Trace("after back"); w.SetResultCode(1); };
  Test(1, script);
  Click(C(Ui::kProcessBack));
  EXPECT_EQ(form->CurrentPage(), Ui::Page::Select);
  EXPECT_TRUE(Trace().empty());
  EXPECT_NE(form->CurrentRun(), nullptr);
  *release = true;
  ASSERT_TRUE(WaitForResults());
  EXPECT_EQ(shown[0].banner, L"SUCCESS");
  EXPECT_TRUE(TraceHas(L"\tafter back"));
}

struct CloseCase {
  const char* name;
  FakeWorker::Step discover;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class WinCloseTest : public WinFormTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(WinCloseTest, ClosingStopsAndFreesTheWorkerWithinASecond) {
  FakeWorker::Script script;
  script.discover = GetParam().discover;
  Test(1, script);
  ASSERT_EQ(*alive, 1);
  PostMessageW(form->Window(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return *alive == 0; }, 1500)) << "the worker outlived the window";
  EXPECT_TRUE(form->Closed());
  EXPECT_FALSE(Visible(form->Window()));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, WinCloseTest,
    ::testing::Values(CloseCase{"InsideTheErrorBox", [](FakeWorker&) { throw ZError("broken"); }},
                      CloseCase{"TracingWithoutPause",
                                [](FakeWorker& w) {
                                  while (!w.Terminated()) w.Trace("busy");
                                }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WinFormTest, CloseOnAnyPageEndsTheProgramsMessageLoop) {
  for (const int close : {Ui::kWelcomeClose, Ui::kSelectClose, Ui::kProcessClose}) {
    TearDown();
    SetUp();
    form->SetQuitOnClose(true);
    Choose(0);
    if (close != Ui::kSelectClose) Click(C(close == Ui::kWelcomeClose ? Ui::kSelectBack : Ui::kSelectNext));
    Click(C(close));
    bool quit = false;
    const ULONGLONG end = GetTickCount64() + 2000;
    while (!quit && GetTickCount64() < end) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) quit = true;
        else DispatchMessageW(&msg);
      }
      Sleep(5);
    }
    EXPECT_TRUE(quit) << close;
    EXPECT_TRUE(form->Closed()) << close;
  }
}

// On the clipboard every line ends in CR LF, as Windows' own programs paste text.
TEST_F(WinFormTest, CopyAllOfTheResultsWindowHoldsTheWordEveryLineAndTheLegend) {
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) { w.AddRoute("G1=1.1.1.1:1", 3); };
  script.profile = [](FakeWorker& w) { w.ScoreRoute(0, 3); };
  copy_all_in_results = true;
  Test(1, script);
  ASSERT_TRUE(WaitForResults());
  std::wstring want = shown[0].banner + L"\r\n";
  for (const std::wstring& line : shown[0].lines) want += line + L"\r\n";
  want += shown[0].legend + L"\r\n";
  EXPECT_EQ(ClipboardText(), want);
  EXPECT_EQ(shown[0].lines[1], L"     3\tG1=1.1.1.1:1\t\u2014\t3 of 25 detail records missing");
}

TEST_F(WinFormTest, CopyAllAndSaveTraceHoldTheHeadAndEveryLine) {
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    w.Trace("caf\xE9 \x01");  // a byte that is no text, and a control character
    w.Trace("Route Z\u00FCrich\u2014\u03B2");  // UTF-8, as the network and the history hold it
    w.AddRoute("G1=1.1.1.1:1", 0);
  };
  Test(1, script, L"127.0.0.1");
  ASSERT_TRUE(WaitForResults());
  const std::wstring text = form->TraceList().Text(true);
  EXPECT_EQ(text.rfind(L"Zelvan Probe trace\nTest 1 started ", 0), 0u);
  EXPECT_NE(text.find(L": server 127.0.0.1, port 6900 (26880), route code A\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"\tcaf\\xE9 \\x01\n"), std::wstring::npos) << Utf8(text);
  EXPECT_NE(text.find(L"\tRoute Z\u00FCrich\u2014\u03B2\n"), std::wstring::npos) << Utf8(text);

  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"zp-winapp-trace.txt";
  ASSERT_TRUE(form->TraceList().Save(path));
  std::ifstream in(Utf8(path), std::ios::binary);
  std::stringstream saved;
  saved << in.rdbuf();
  in.close();
  DeleteFileW(path.c_str());
  // Lines end in CR LF, as Windows' own programs read text files.
  EXPECT_EQ(saved.str(), WithCrLf(LineBytes(text)));
  for (std::size_t at = saved.str().find('\n'); at != std::string::npos; at = saved.str().find('\n', at + 1))
    EXPECT_EQ(saved.str()[at - 1], '\r') << at;
  // The separator line's dash and the route's name are written in UTF-8.
  EXPECT_NE(saved.str().find(" \xE2\x80\x94 127.0.0.1:6900, route code A"), std::string::npos);
  EXPECT_NE(saved.str().find("\tRoute Z\xC3\xBCrich\xE2\x80\x94\xCE\xB2\r\n"), std::string::npos);
}

TEST_F(WinFormTest, SaveTraceStartsInDocumentsAndGivesTheFocusBackToTheTrace) {
  Choose(1);
  Click(C(Ui::kSelectNext));
  SetFocus(C(Ui::kTrace));
  std::wstring folder;
  ThreadTicker cancel([&] {
    for (auto& [dialog, seen] : OpenDialogs()) {
      wchar_t path[MAX_PATH] = {};
      if (folder.empty() && SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path)) > 0)
        folder = path;
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
  });
  form->TraceList().SaveAs();
  EXPECT_FALSE(folder.empty());
  EXPECT_EQ(folder, DocumentsFolder());
  EXPECT_EQ(GetFocus(), C(Ui::kTrace));
}

}  // namespace
}  // namespace zp::test
