#include "app/ResultsForm.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdio>

#include "app/TabBox.h"
#include "client/TraceLine.h"

namespace zp {

namespace {

constexpr int kWidth = 459;
constexpr int kHeight = 280;
constexpr int kTopPanelHeight = 41;
constexpr int kResultTabStop = 50;  // tab units: the route column follows a 6-digit score

}  // namespace

TfrmResults::TfrmResults(QWidget* parent) : QDialog(parent) {
  setObjectName("frmResults");
  setWindowTitle("Results");
  setModal(true);

  pnlTop = new QFrame(this);
  pnlTop->setObjectName("pnlTop");
  pnlTop->setFrameShape(QFrame::NoFrame);
  pnlTop->setFixedHeight(kTopPanelHeight);

  lblShowResult = new QLabel("<<show result>>", pnlTop);
  lblShowResult->setObjectName("lblShowResult");
  lblShowResult->setTextFormat(Qt::PlainText);
  lblShowResult->setAlignment(Qt::AlignCenter);
  lblShowResult->setMinimumSize(345, 33);
  QFont banner = lblShowResult->font();
  banner.setPixelSize(24);
  lblShowResult->setFont(banner);

  btnClose = new QPushButton("&Close", pnlTop);
  btnClose->setObjectName("btnClose");
  btnClose->setDefault(true);
  btnClose->setFixedSize(std::max(75, btnClose->sizeHint().width()), 27);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

  auto* top = new QHBoxLayout(pnlTop);
  top->setContentsMargins(4, 4, 8, 4);
  top->addWidget(lblShowResult, 1);
  top->addWidget(btnClose);

  tlbResults = new ZTabListBox(this);
  tlbResults->setObjectName("tlbResults");
  tlbResults->setAccessibleName("Results");
  tlbResults->setFrameShape(QFrame::NoFrame);
  QPalette face = tlbResults->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  tlbResults->setPalette(face);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlTop);
  layout->addWidget(tlbResults, 1);

  resize(kWidth, kHeight);
  SetupTabs();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
  }
}

void TfrmResults::SetupTabs() { tlbResults->SetTabStops({kResultTabStop}); }

void TfrmResults::Fill(const RunSnapshot& run) {
  switch (run.result_code) {
    case 0:
      lblShowResult->setText("FAILURE");
      break;
    case 1:
      lblShowResult->setText("SUCCESS");
      break;
    case 2:
      lblShowResult->setText("SOME ROUTES FAILED");
      break;
    default:
      break;
  }
  tlbResults->setUpdatesEnabled(false);
  tlbResults->Clear();
  tlbResults->AddLine("Score\tRoute");
  for (const RouteResult& route : run.routes) {
    char score[16];
    std::snprintf(score, sizeof score, "%6d", static_cast<int>(route.score));
    const std::string entry = EscapeControls(route.entry);
    tlbResults->AddLine(QString::fromLatin1(score) + u'\t' +
                        QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size())));
  }
  tlbResults->setUpdatesEnabled(true);
}

void TfrmResults::ShowResults(const RunSnapshot& run) {
  Fill(run);
  btnClose->setFocus();
  exec();
}

}  // namespace zp
