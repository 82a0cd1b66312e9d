#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "session/SessionView.h"

namespace zp {

// The modal window that shows the outcome of one test: the result word, one line per
// route with its score and what happened to it, the key's outcome and what the score
// means; without routes, the route servers asked and what each did. Made once and reused
// for every test, as the Qt window's is; the lines and words are the same.
class WinResultsForm {
 public:
  explicit WinResultsForm(HWND owner = nullptr);
  ~WinResultsForm();
  WinResultsForm(const WinResultsForm&) = delete;
  WinResultsForm& operator=(const WinResultsForm&) = delete;

  // Fills the window from the ended test and runs it modally (its owner disabled);
  // returns when the operator has closed it.
  void ShowResults(const EndedRun& ended);
  // Ends the modal run as Close does.
  void Close();
  bool IsShowing() const { return FModal; }

  // What Copy All puts on the clipboard: the result word, every line, the legend.
  std::wstring Text() const;
  std::wstring Banner() const;
  std::vector<std::wstring> Lines() const;
  std::wstring Legend() const;
  HWND Window() const { return FWindow; }
  HWND ControlById(int id) const { return GetDlgItem(FWindow, id); }

  enum Control : int { kShowResult = 201, kCopyAll, kClose, kResults, kLegend };

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Create(HWND owner);
  void ApplyFonts();
  void Layout();
  void Fill(const ResultsView& results);
  void AddLine(const std::wstring& line);
  void FitColumns();
  void CopySelected();

  HWND FWindow = nullptr;
  HWND FShowResult = nullptr, FCopyAll = nullptr, FClose = nullptr, FResults = nullptr, FLegend = nullptr;
  HFONT FFont = nullptr, FBannerFont = nullptr;
  UINT FDpi = 96;
  bool FModal = false;
};

}  // namespace zp
