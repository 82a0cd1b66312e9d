#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>

#include "client/RunRecord.h"

class QFrame;
class QLabel;
class QPushButton;

namespace zp {

class ZTabListBox;

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
  void ShowResults(const RunSnapshot& run);

  // What Copy All puts on the clipboard: the result word, every line, the legend.
  QString Text() const;

 private:
  void SetupTabs();
  void Fill(const RunSnapshot& run);
  void FitColumns();
  void CopySelected();
  void CopyAll();

  QFrame* pnlTop;
  QLabel* lblShowResult;
  QPushButton* btnCopyAll;
  QPushButton* btnClose;
  ZTabListBox* tlbResults;
  QLabel* lblLegend;
};

}  // namespace zp
