#pragma once
#include <QString>

class QButtonGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;
class QWidget;

namespace zp {

class ZTabListBox;

// The controls of the wizard window: its three pages with their texts, sizes and
// layouts. Building them is all it does; the window connects and drives them.
class TProbeFormUi {
 public:
  // Builds every control as a child of `form`, with the Welcome page showing.
  void Build(QWidget* form);

  QStackedWidget* pcProbe = nullptr;
  QWidget* tsWelcome = nullptr;
  QPlainTextEdit* mmoWelcome = nullptr;
  QPushButton* btnWelcomeNext = nullptr;
  QPushButton* btnWelcomeClose = nullptr;
  QWidget* tsSelect = nullptr;
  QGroupBox* rgSelect = nullptr;
  QButtonGroup* FSelectItems = nullptr;
  QLabel* lblServer = nullptr;
  QLineEdit* edServer = nullptr;
  QLabel* lblPort = nullptr;
  QLineEdit* edPort = nullptr;
  QLabel* lblRouteCode = nullptr;
  QLineEdit* edRouteCode = nullptr;
  QPushButton* btnSelectBack = nullptr;
  QPushButton* btnSelectNext = nullptr;
  QPushButton* btnSelectClose = nullptr;
  QWidget* tsProcess = nullptr;
  QFrame* pnlTop = nullptr;
  QFrame* pnlShowThread = nullptr;
  QLabel* lblResultIcon = nullptr;
  QLabel* lblShowThreadDescription = nullptr;
  QLabel* lblShowStateDescription = nullptr;
  QLabel* lblShowStatusText = nullptr;
  ZTabListBox* tlbTrace = nullptr;
  QFrame* pnlBottom = nullptr;
  QLabel* lblProgress = nullptr;
  QProgressBar* pbProgress = nullptr;
  QPushButton* btnProcessHistory = nullptr;
  QPushButton* btnProcessBack = nullptr;
  QPushButton* btnProcessTest = nullptr;
  QPushButton* btnProcessStop = nullptr;
  QPushButton* btnProcessClose = nullptr;
  QTimer* tmrProcess = nullptr;

 private:
  void BuildWelcomePage();
  void BuildSelectPage();
  void BuildProcessPage();
};

}  // namespace zp
