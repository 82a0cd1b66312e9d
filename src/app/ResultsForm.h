#pragma once
#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

#include "history/HistoryRecord.h"
#include "run/RunRecord.h"

class QFrame;
class QLabel;
class QPushButton;

namespace zp {

class RunHistory;
class ZTabListBox;

// What the window knows around the run besides the run itself.
struct ResultsContext {
  // The history the run was recorded in; null when the window keeps none.
  std::shared_ptr<RunHistory> history;
  // The run was compared with the history: each route gets a change column against
  // `previous`, the last run with the same settings (none: every route is new).
  bool compared = false;
  std::optional<HistoryRun> previous;
  QStringList trace;  // the trace as the main window lists it, for the report
};

// Records the ended run in `history` (when there is one) and compares it with the last
// run recorded with the same settings.
ResultsContext RecordAndCompare(const std::shared_ptr<RunHistory>& history, const RunSnapshot& run);

// The modal window that shows the outcome of one test: the result word, one line per
// route with its score and what happened to it, the key's outcome and what the score
// means. Without routes it names the route servers asked and what each did. Made once
// and reused for every test.
class TfrmResults : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmResults(QWidget* parent = nullptr);

  // Fills the window from the run and runs it modally; returns when the operator has
  // closed it. A run with no banner of its own (an unknown result code) leaves the
  // result word as it was.
  void ShowResults(const RunSnapshot& run, ResultsContext context = {});

  // Writes the report of the shown run (Save Report… asks for the file first); false
  // when the file cannot be written.
  bool SaveReport(const QString& path);

  // What Copy All puts on the clipboard: the result word, every line, the legend.
  QString Text() const;

 private:
  void SetupTabs();
  void Fill(const RunSnapshot& run);
  QString ChangeText(const RouteResult& route) const;
  void SaveReportAs();
  void ShowHistory();
  void FitColumns();
  void CopySelected();
  void CopyAll();

  QFrame* pnlTop;
  QLabel* lblShowResult;
  QPushButton* btnCopyAll;
  QPushButton* btnSaveReport;
  QPushButton* btnHistory;
  QPushButton* btnClose;
  ZTabListBox* tlbResults;
  QLabel* lblLegend;
  RunSnapshot FRun;
  ResultsContext FContext;
};

}  // namespace zp
