// The trace list on its own: separator lines, bursts, clearing with and without the
// last test's head, and the scroll width that never shrinks.
#include <gtest/gtest.h>

#include <memory>

#include "WinDriver.h"
#include "winapp/WinText.h"
#include "winapp/WinTraceList.h"

namespace zp::test {
namespace {

class WinTraceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitControls();
    host = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    box = CreateWindowExW(0, L"LISTBOX", L"",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NODATA | LBS_OWNERDRAWFIXED |
                              LBS_NOINTEGRALHEIGHT,
                          0, 0, 380, 200, host, nullptr, nullptr, nullptr);
    list = std::make_unique<WinTraceList>(box);
  }
  void TearDown() override {
    list.reset();
    DestroyWindow(host);
  }
  // A test's start as the session hands it out.
  static TestStart Start(int number, const char* server) {
    return MakeTestStart(number, {server, 0x6900, "A"}, 1'796'000'000);
  }
  HWND host = nullptr, box = nullptr;
  std::unique_ptr<WinTraceList> list;
};

TEST_F(WinTraceListTest, LinesSeparatorsAndHeadsAsTheQtWindowHasThem) {
  const TestStart start = Start(1, "gw.example");
  list->StartTest(start);
  list->Append({"ExpressT", "Mon 12/07 09:05:07", "first"});
  list->Append({"ExpressT", "Mon 12/07 09:05:07", "\x1B[31mred"});
  list->Flush();
  const std::vector<std::wstring> want = {
      WordsW(start.line),
      L"ExpressT\tMon 12/07 09:05:07\tfirst",
      L"ExpressT\tMon 12/07 09:05:07\t\\x1B[31mred",
  };
  EXPECT_EQ(list->Lines(), want);
  // The box holds no text, only the count it shows.
  EXPECT_EQ(SendMessageW(box, LB_GETCOUNT, 0, 0), 3);
  EXPECT_NE(want[0].find(L" \u2014 gw.example:6900, route code A"), std::wstring::npos);
  EXPECT_EQ(list->Text(true), L"Zelvan Probe trace\n" + WordsW(start.heading) + L"\n\n" + want[0] + L"\n" + want[1] +
                                  L"\n" + want[2] + L"\n");
  EXPECT_GT(SendMessageW(box, LB_GETHORIZONTALEXTENT, 0, 0), 0);
}

TEST_F(WinTraceListTest, LinesOfABurstWaitAndAreCountedAndClearKeepsTheRunningTestsHead) {
  list->StartTest(Start(1, "a"));
  list->StartTest(Start(2, "b"));
  for (int i = 0; i < 50; ++i) list->Append({"ExpressT", "t", "dump " + std::to_string(i)});
  EXPECT_EQ(list->Count(), 52);
  Pump(3 * WinTraceList::kBurstMs);
  EXPECT_EQ(SendMessageW(box, LB_GETCOUNT, 0, 0), 52);
  const LRESULT extent = SendMessageW(box, LB_GETHORIZONTALEXTENT, 0, 0);

  struct Case {
    bool keep_last_test;
    const wchar_t* head;
  };
  for (const Case c : {Case{true, L"Test 2 started"}, Case{false, nullptr}}) {
    list->Clear(c.keep_last_test);
    EXPECT_EQ(list->Count(), 0);
    const std::wstring text = list->Text(true);
    EXPECT_EQ(text.find(L"Test 1 started"), std::wstring::npos);
    EXPECT_EQ(text.find(L"Test 2 started") != std::wstring::npos, c.head != nullptr) << c.keep_last_test;
    EXPECT_EQ(SendMessageW(box, LB_GETHORIZONTALEXTENT, 0, 0), extent);  // the scroll width stays
  }
}

}  // namespace
}  // namespace zp::test

