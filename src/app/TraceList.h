#pragma once
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "client/RunRecord.h"
#include "client/TraceLine.h"

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
  // Empties the list; the longest line so far and the scroll width stay.
  void Clear();
  // Shows the lines still waiting for their burst.
  void Flush();
  // Lines kept, shown or not.
  int Count() const;

  // The settings and start of the last test, for the head of a copied or saved trace.
  void SetTest(const RunSettings& settings, const QString& port_text, const QDateTime& started);
  // The trace as plain text, one line per trace line with its tabs; `with_header` puts
  // the last test's server, port, route code and start time in front.
  QString Text(bool with_header);
  bool Save(const QString& path);

  int LineHeight() const { return FLineHeight; }
  int CharWidth() const { return FCharWidth; }
  int MaxLineLength() const { return FMaxLineLength; }

  static constexpr int kBurstMs = 25;

 private:
  void CopySelected();
  void CopyAll();
  void SaveAs();

  ZTabListBox* FBox;
  std::int32_t FLineHeight = 1;
  std::int32_t FCharWidth = 1;
  std::int32_t FMaxLineLength = -1;
  std::vector<QString> FWaiting;
  QTimer FBurst;
  QElapsedTimer FSinceBurst;

  RunSettings FSettings;
  QString FPortText;
  QDateTime FStarted;
};

}  // namespace zp
