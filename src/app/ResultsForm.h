#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>

#include "session/SessionView.h"

class QFrame;
class QLabel;
class QPushButton;

namespace zp {

class RunHistory;
class ZTabListBox;

// The modal window that shows the outcome of one test: the result word, one line per
// route with its score and what happened to it, the key's outcome and what the score
// means. Without routes it names the route servers asked and what each did. Made once
// and reused for every test.
class TfrmResults : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmResults(QWidget* parent = nullptr);

  // Fills the window from the ended test and runs it modally; returns when the operator
  // has closed it. `history` is where Save Report and History read the earlier runs
  // (null: none is kept).
  void ShowResults(const EndedRun& ended, std::shared_ptr<RunHistory> history = nullptr);

  // Writes the report of the shown run (Save Report… asks for the file first); false
  // when the file cannot be written.
  bool SaveReport(const QString& path);

  // What Copy All puts on the clipboard: the result word, every line, the legend.
  QString Text() const;

 private:
  void SetupTabs();
  void Fill(const ResultsView& results);
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
  EndedRun FEnded;
  std::shared_ptr<RunHistory> FHistory;
};

}  // namespace zp
