#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "session/SessionView.h"
#include "run/TraceLine.h"

namespace zp {

class ZTabListBox;

// The window's trace: every line of the tests, in order, in a tab list box, with the
// operator's Copy, Copy All and Save Trace.
//
// A worker may send thousands of lines a second (hex dumps). Lines are kept at once but
// reach the list box in bursts, at most one per kBurstMs: the box then lays out,
// scrolls and repaints once per burst instead of once per line, so the cost of a line
// does not depend on how many lines the box already holds. Window thread only.
class TTraceList : public QObject {
  Q_OBJECT
 public:
  // Takes over `box`: its tab stops, measures and actions.
  explicit TTraceList(ZTabListBox* box);

  void Append(const TraceLine& line);
  // Marks the start of test `number` with a line of its own and scrolls back to the
  // left; the test's settings head a copied or saved trace from then on.
  void StartTest(const TestStart& start);
  // Empties the list, with its scroll width: an empty list scrolls nowhere. With
  // `keep_last_test` the last test still names itself in the head (its lines go on).
  void Clear(bool keep_last_test = false);
  // Shows the lines still waiting for their burst.
  void Flush();
  // Lines kept, shown or not.
  int Count() const;

  // The trace as plain text, one line per trace line with its tabs; `with_header` puts
  // each listed test's start, server, port and route code in front.
  QString Text(bool with_header);
  // The text as bytes: each character of a trace line is one byte of what the worker
  // traced (valid UTF-8 once escaped); the window's own words are written in UTF-8.
  bool Save(const QString& path);

  int LineHeight() const { return FLineHeight; }
  int CharWidth() const { return FCharWidth; }
  // The widest line so far, in pixels, tabs expanded.
  int MaxLineWidth() const { return FMaxLineWidth; }

  static constexpr int kBurstMs = 25;

 private:
  void CopySelected();
  void CopyAll();
  void SaveAs();

  ZTabListBox* FBox;
  std::int32_t FLineHeight = 1;
  std::int32_t FCharWidth = 1;
  std::int32_t FMaxLineWidth = 0;
  std::vector<QString> FWaiting;
  QTimer FBurst;
  QElapsedTimer FSinceBurst;

  std::vector<QString> FTests;  // each listed test's head line
};

}  // namespace zp
