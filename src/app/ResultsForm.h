#pragma once
#include <QDialog>
#include <cstdint>

#include "client/RouteList.h"

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

  // Fills the window and runs it modally; returns when the operator has closed it.
  // Codes other than 0, 1 and 2 leave the result word as it was.
  void ShowResults(std::int32_t result_code, const RouteList& result_list);

 private:
  void SetupTabs();
  void Fill(std::int32_t result_code, const RouteList& result_list);

  QFrame* pnlTop;
  QLabel* lblShowResult;
  QPushButton* btnClose;
  ZTabListBox* tlbResults;
};

}  // namespace zp
