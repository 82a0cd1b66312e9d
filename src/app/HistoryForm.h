#pragma once
#include <QDialog>
#include <memory>
#include <optional>
#include <vector>

#include "history/HistoryRecord.h"

class QChart;
class QCheckBox;
class QLabel;
class QTableWidget;

namespace zp {

class RunHistory;
class THistoryChart;

// The recorded runs at a glance: each route's score and profiling time over the runs (a
// colour per route, each point's shape its run's result, a tip per point) and the table
// of runs below the plots, newest first. It shows the runs with the current settings,
// or with a switch the runs with every setting. A run chosen in the table is marked in
// both plots, and a click in a plot chooses the run in the table.
class THistoryForm : public QDialog {
  Q_OBJECT
 public:
  // The newest runs shown.
  static constexpr int kRunsShown = 500;

  // `current`: the settings whose runs are shown first; none shows every run.
  THistoryForm(std::shared_ptr<RunHistory> history, std::optional<RunSettings> current = std::nullopt,
               QWidget* parent = nullptr);

  // Reads the history again and redraws.
  void Reload();

  QChart* ScoreChart() const;
  QChart* TimeChart() const;
  THistoryChart* ScoreView() const { return chvScore; }
  THistoryChart* TimeView() const { return chvTime; }
  QTableWidget* Table() const { return tblRuns; }
  QCheckBox* AllSettings() const { return chkAllSettings; }
  // The runs shown, oldest first: run n of the plots is Shown()[n - 1].
  const std::vector<HistoryRun>& Shown() const { return FShown; }

 private:
  // The newest runs into FRecent, enough of them for the plots; false when the history
  // cannot be read.
  bool ReadRecent();
  void Fill();
  void FitTable();
  // Marks the shown run at `index` in both plots and chooses its row.
  void SelectRun(int index);

  std::shared_ptr<RunHistory> FHistory;
  std::optional<RunSettings> FCurrent;
  std::vector<HistoryRun> FRecent;  // as read, newest first
  std::vector<HistoryRun> FShown;
  QCheckBox* chkAllSettings;
  QLabel* lblShowing;
  THistoryChart* chvScore;
  THistoryChart* chvTime;
  QTableWidget* tblRuns;
  QLabel* lblNote;
  bool FSelecting = false;
};

}  // namespace zp
