#pragma once
// The native wizard window under test: drives its pages, starts tests with scripted
// workers and records every modal window it meets (and closes it).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FakeWorker.h"
#include "WinDriver.h"
#include "winapp/WinProbeForm.h"
#include "winapp/WinResultsForm.h"
#include "winapp/WinTraceList.h"

namespace zp::test {

struct ResultsSeen {
  std::wstring banner;
  std::vector<std::wstring> lines;
  std::wstring legend;
};

struct BoxSeen {
  DialogSeen dialog;
  std::vector<std::wstring> buttons;
};

class WinFormTest : public ::testing::Test {
 protected:
  using Ui = WinProbeFormUi;

  void SetUp() override {
    InitControls();
    form = std::make_unique<WinProbeForm>();
    results = std::make_unique<WinResultsForm>(form->Window());
    form->SetResultsForm(results.get());
    factory.script.alive = alive;
    ShowWindow(form->Window(), SW_SHOW);
    ticker = std::make_unique<ThreadTicker>([this] { Watch(); });
  }
  void TearDown() override {
    ticker.reset();
    form.reset();
    results.reset();
  }

  HWND C(int id) const { return form->Control(id); }

  // Meets the modal windows: reads what they show, then closes them as the operator would.
  void Watch() {
    if (results->IsShowing() && !results_closing) {
      results_closing = true;
      shown.push_back({results->Banner(), results->Lines(), results->Legend()});
      if (copy_all_in_results) Click(results->ControlById(WinResultsForm::kCopyAll));
      Click(results->ControlById(WinResultsForm::kClose));
    }
    if (!results->IsShowing()) results_closing = false;
    for (auto& [hwnd, seen] : OpenDialogs()) {
      if (handled.contains(hwnd)) continue;
      handled.insert(hwnd);
      boxes.push_back({seen, DialogButtons(hwnd)});
      if (seen.title == L"Error") PostMessageW(hwnd, TDM_CLICK_BUTTON, IDABORT, 0);
      else PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    }
  }

  // Welcome → Select with way `item` chosen.
  void Choose(int item) {
    if (form->CurrentPage() == Ui::Page::Welcome) Click(C(Ui::kWelcomeNext));
    Click(C(Ui::kSelectItem0 + item));
  }
  // Chooses way `item`, goes to the Process page and presses Test with workers of `script`.
  void Test(int item, const FakeWorker::Script& script, const std::wstring& server = L"127.0.0.1") {
    factory.script = script;
    factory.script.alive = alive;
    form->SetWorkerFactory(factory.Make());
    Choose(item);
    if (!server.empty()) SetText(C(Ui::kServer), server);
    Click(C(Ui::kSelectNext));
    Click(C(Ui::kProcessTest));
  }
  // Polls (rather than waiting a second for each tick) until the results window was met.
  bool WaitForResults(std::size_t count = 1, DWORD ms = 10000) {
    return PumpUntil(
        [&] {
          form->tmrProcessTimer();
          return shown.size() >= count;
        },
        ms);
  }
  std::vector<std::wstring> Trace() {
    form->TraceList().Flush();
    return form->TraceList().Lines();
  }
  bool TraceHas(const std::wstring& text) {
    form->TraceList().Flush();
    for (const std::wstring& line : Trace())
      if (line.find(text) != std::wstring::npos) return true;
    return false;
  }

  std::unique_ptr<WinProbeForm> form;
  std::unique_ptr<WinResultsForm> results;
  std::unique_ptr<ThreadTicker> ticker;
  FakeFactory factory;
  std::shared_ptr<std::atomic<int>> alive = std::make_shared<std::atomic<int>>(0);
  std::vector<ResultsSeen> shown;
  std::vector<BoxSeen> boxes;
  std::set<HWND> handled;
  bool results_closing = false;
  bool copy_all_in_results = false;
};

}  // namespace zp::test
