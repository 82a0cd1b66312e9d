#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "session/SessionView.h"

namespace zp {

class RunHistory;

// The modal window that shows the outcome of one test: the result word, one line per
// route with its score (and its change against the last recorded test with the same
// settings, when a history is kept) and what happened to it, the key's outcome and what
// the score means; without routes, the route servers asked and what each did. Save
// Report… writes the report for support; History… opens the History window. Made once
// and reused for every test, as the Qt window's is; the lines and words are the same.
class WinResultsForm {
 public:
  explicit WinResultsForm(HWND owner = nullptr);
  ~WinResultsForm();
  WinResultsForm(const WinResultsForm&) = delete;
  WinResultsForm& operator=(const WinResultsForm&) = delete;

  // Fills the window from the ended test and runs it modally (its owner disabled);
  // returns when the operator has closed it. `history` (may be null) is what the report
  // and the History window read.
  void ShowResults(const EndedRun& ended, std::shared_ptr<RunHistory> history = nullptr);
  // Fills the window as ShowResults does, without showing it.
  void Fill(const EndedRun& ended, std::shared_ptr<RunHistory> history = nullptr);
  // Ends the modal run as Close does.
  void Close();
  bool IsShowing() const { return FModal; }
  // Writes the report for support of the test shown; false when the file cannot be written.
  bool SaveReport(const std::wstring& path) const;

  // What Copy All puts on the clipboard: the result word, every line, the legend.
  std::wstring Text() const;
  std::wstring Banner() const;
  std::vector<std::wstring> Lines() const;
  std::wstring Legend() const;
  std::wstring KeyNote() const;  // a failed key's outcome beside the result; empty otherwise
  HWND Window() const { return FWindow; }
  HWND ControlById(int id) const { return GetDlgItem(FWindow, id); }
  // The widest line with the list's tab stops, in pixels.
  int WidestLine() const { return FWidest; }

  enum Control : int { kShowResult = 201, kCopyAll, kClose, kResults, kLegend, kSaveReport, kHistory, kKeyNote };

 private:
  template <typename Form>
  friend LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Create(HWND owner);
  void ApplyFonts();
  void Layout();
  int TopWidth() const;
  int LegendHeight(int width) const;
  int WrappedHeight(HWND control, int width) const;
  void FitColumns();
  void FitWidth();
  void CopySelected();
  void SaveReportAs();
  void ShowHistory();

  HWND FWindow = nullptr;
  HWND FShowResult = nullptr, FSaveReport = nullptr, FHistoryButton = nullptr, FCopyAll = nullptr, FClose = nullptr;
  HWND FResults = nullptr, FLegend = nullptr, FKeyNote = nullptr;
  HFONT FFont = nullptr, FBannerFont = nullptr;
  UINT FDpi = 96;
  bool FModal = false;
  std::vector<int> FStops;  // the list's tab stops, in dialog units as it takes them
  int FWidest = 0;
  EndedRun FEnded;
  std::shared_ptr<RunHistory> FHistory;
};

}  // namespace zp
