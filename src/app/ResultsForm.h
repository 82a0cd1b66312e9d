#pragma once
#include <QDialog>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>

#include "session/SessionView.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace zp {

class RunHistory;
class ZTabListBox;

// The modal window that shows the outcome of one test: the result word with its icon
// (and the key's failure beside it), one line per route with its score and what happened
// to it (failed lines marked), the key's outcome, what to check next and what the score
// means. Without routes it names the route servers asked and what each did. Made once and
// reused for every test; it opens centred over its owner window, as wide as its lines.
class TfrmResults : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmResults(QWidget* parent = nullptr);

  // The window the results open centred over (none: the screen).
  void SetOwnerWindow(QWidget* owner) { FOwner = owner; }

  // Fills the window from the ended test and runs it modally; returns when the operator
  // has closed it. `history` is where Save Report and History read the earlier runs
  // (null: none is kept).
  void ShowResults(const EndedRun& ended, std::shared_ptr<RunHistory> history = nullptr);

  // Writes the report of the shown run and says where under the buttons (Save Report…
  // asks for the file first); false when the file cannot be written.
  bool SaveReport(const QString& path);
  // The file name Save Report… proposes: the run's local start date and time in it.
  QString SuggestedReportName() const;

  // What Copy All puts on the clipboard: the result word, every line, what to check
  // next, the legend.
  QString Text() const;

 private:
  void SetupTabs();
  void Fill(const ResultsView& results);
  void FillSteps(const ResultsView& results);
  void FitWindow();
  void SaveReportAs();
  void ShowHistory();
  void FitColumns();
  void CopySelected();
  void CopyAll();

  QLabel* lblResultIcon;
  QLabel* lblShowResult;
  QLabel* lblKeyNote;
  ZTabListBox* tlbResults;
  QWidget* pnlSteps;
  QVBoxLayout* FStepLines;
  QLabel* lblLegend;
  QLabel* lblSaved;
  QPushButton* btnCopyAll;
  QPushButton* btnSaveReport;
  QPushButton* btnHistory;
  QPushButton* btnClose;
  EndedRun FEnded;
  std::shared_ptr<RunHistory> FHistory;
  QPointer<QWidget> FOwner;
  QString FReportFolder;
};

}  // namespace zp
