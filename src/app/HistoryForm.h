#pragma once
#include <QDialog>
#include <memory>
#include <vector>

#include "history/HistoryRecord.h"

class QChart;
class QChartView;
class QLabel;
class QTableWidget;

namespace zp {

class RunHistory;

// The recorded runs at a glance: each route's score and profiling time over the runs,
// one line per route with each point coloured by its run's result, and the table of
// runs beside the plots (newest first).
class THistoryForm : public QDialog {
  Q_OBJECT
 public:
  // The newest runs shown.
  static constexpr int kRunsShown = 500;

  THistoryForm(std::shared_ptr<RunHistory> history, QWidget* parent = nullptr);

  // Reads the history again and redraws.
  void Reload();

  QChart* ScoreChart() const;
  QChart* TimeChart() const;
  QTableWidget* Table() const { return tblRuns; }

 private:
  void Fill(const std::vector<HistoryRun>& runs);  // oldest first

  std::shared_ptr<RunHistory> FHistory;
  QChartView* chvScore;
  QChartView* chvTime;
  QTableWidget* tblRuns;
  QLabel* lblNote;
};

}  // namespace zp
