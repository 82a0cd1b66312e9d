#pragma once
#include <QDialog>
#include <cstdint>

#include "client/RunRecord.h"

class QFrame;
class QLabel;
class QPushButton;

namespace zp {

class ZTabListBox;

// The modal window that shows the outcome of one test: the result word and one line
// per route with its score. Made once and reused for every test.
class TfrmResults : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmResults(QWidget* parent = nullptr);

  // Fills the window from the run's result code and routes with their scores, and runs
  // it modally; returns when the operator has closed it. Codes other than 0, 1 and 2
  // leave the result word as it was.
  void ShowResults(const RunSnapshot& run);

 private:
  void SetupTabs();
  void Fill(const RunSnapshot& run);

  QFrame* pnlTop;
  QLabel* lblShowResult;
  QPushButton* btnClose;
  ZTabListBox* tlbResults;
};

}  // namespace zp
