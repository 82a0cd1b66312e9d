#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "session/SessionView.h"
#include "run/TraceLine.h"

namespace zp {

// The window's trace: every line of the tests in order, "Test n started …" separator
// lines, and the operator's Copy (Ctrl+C), Copy All (Ctrl+Shift+C) and Save Trace
// (Ctrl+S), also on the list's context menu.
//
// The lines live here, not in the list box: the box holds no data, only their count, and
// draws each line it shows from here with its tab stops. Adding a hundred thousand
// strings to a list box one by one costs more with every line it holds; a count does not.
// Lines are kept at once but reach the box in bursts, at most one per kBurstMs, so that a
// hex dump costs one repaint per burst rather than one per line. Window thread only.
class WinTraceList {
 public:
  // Takes over `box`: a list box that holds no data (LBS_NODATA, LBS_OWNERDRAWFIXED)
  // with a horizontal scroll bar; its owner passes its WM_DRAWITEM on to DrawItem.
  explicit WinTraceList(HWND box);
  ~WinTraceList();
  WinTraceList(const WinTraceList&) = delete;
  WinTraceList& operator=(const WinTraceList&) = delete;

  // After the box's font changed (a move to a monitor of another DPI).
  void FontChanged();

  void Append(const TraceLine& line);
  void StartTest(const TestStart& start);
  // Empties the list; the widest line so far and the scroll width stay. With
  // `keep_last_test` the last test still names itself in the head (its lines go on).
  void Clear(bool keep_last_test = false);
  void Flush();
  // Lines kept, shown or not.
  int Count() const;
  std::wstring Line(int index) const;
  const std::vector<std::wstring>& Lines() const { return FLines; }
  // Draws one line of the box.
  void DrawItem(const DRAWITEMSTRUCT& item) const;

  // The trace as text, one line per trace line with its tabs; `with_header` puts each
  // listed test's start, server, port and route code in front.
  std::wstring Text(bool with_header);
  // Each character of a trace line is one byte of what the worker traced; the window's
  // own words are written in UTF-8; lines end in CR LF. Replaces the file whole.
  bool Save(const std::wstring& path);

  void CopySelected();
  void CopyAll();
  void SaveAs();

  int LineHeight() const { return FLineHeight; }
  int CharWidth() const { return FCharWidth; }

  static constexpr UINT kBurstMs = 25;

 private:
  static LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
  void Measure();
  // A line's width in pixels, tabs expanded: the font has a fixed pitch.
  int LineWidth(const std::wstring& line) const;
  void ShowMenu(int x, int y);

  HWND FBox;
  int FLineHeight = 1;
  int FCharWidth = 1;
  int FMaxLineWidth = 0;
  std::vector<int> FStops;  // pixels
  std::vector<std::wstring> FLines;
  std::size_t FShown = 0;  // lines the box counts; the rest wait for the next burst
  bool FBurstPending = false;
  ULONGLONG FLastBurst = 0;

  std::vector<std::wstring> FTests;  // each listed test's head line
};

}  // namespace zp
