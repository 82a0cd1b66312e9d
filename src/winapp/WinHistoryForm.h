#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "report/PlotModel.h"

namespace zp {

class RunHistory;

// The recorded runs at a glance, as the Qt window's History window shows them: each
// route's score and profiling time over the runs, drawn with GDI from the shared plot
// model (each route in its colour, each point's shape its run's result; the point under
// the mouse tells its run in the line at the bottom), and the runs newest first beside
// the charts. Modal to its owner.
class WinHistoryForm {
 public:
  // The newest runs shown.
  static constexpr int kRunsShown = 500;

  WinHistoryForm(HWND owner, std::shared_ptr<RunHistory> history);
  ~WinHistoryForm();
  WinHistoryForm(const WinHistoryForm&) = delete;
  WinHistoryForm& operator=(const WinHistoryForm&) = delete;

  // Runs the window modally until the operator closes it.
  void ShowModal();
  void Close();
  bool IsShowing() const { return FModal; }
  // Reads the history again and redraws.
  void Reload();

  HWND Window() const { return FWindow; }
  HWND ControlById(int id) const { return GetDlgItem(FWindow, id); }
  const PlotModel& Plot(int id) const { return id == kScore ? FScore : FTime; }
  std::wstring Note() const;

  enum Control : int { kScore = 301, kTime, kRuns, kNote, kClose };

 private:
  template <typename Form>
  friend LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK PlotProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void PaintPlot(HWND plot, HDC dc) const;
  void ShowTip(HWND plot, POINT where);
  void ApplyFonts();
  void Layout();
  void FillRuns(const std::vector<HistoryRun>& runs);  // oldest first

  HWND FWindow = nullptr;
  HFONT FFont = nullptr;
  UINT FDpi = 96;
  bool FModal = false;
  std::shared_ptr<RunHistory> FHistory;
  PlotModel FScore, FTime;
  std::wstring FNote;  // the line at the bottom when no point is under the mouse
};

}  // namespace zp
