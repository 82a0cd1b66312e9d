#include "app/TraceList.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSaveFile>
#include <algorithm>

#include "app/TabBox.h"

namespace zp {

namespace {

// Room for the tab expansion of a line, in characters.
constexpr int kLineSlack = 28;

QString Bytes(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QAction* AddAction(ZTabListBox* box, const char* name, const QString& text, const QKeySequence& keys,
                   Qt::ShortcutContext context) {
  auto* action = new QAction(text, box);
  action->setObjectName(name);
  action->setShortcut(keys);
  action->setShortcutContext(context);
  box->addAction(action);
  return action;
}

}  // namespace

TTraceList::TTraceList(ZTabListBox* box) : QObject(box), FBox(box) {
  FBox->SetTabStops({50, 100, 150, 200, 250, 300, 350, 400, 450, 500});
  const QFontMetrics fm(FBox->font());
  FLineHeight = std::max(1, fm.height());
  FCharWidth = FBox->AverageCharWidth();
  FMaxLineLength = -1;

  FBurst.setSingleShot(true);
  connect(&FBurst, &QTimer::timeout, this, &TTraceList::Flush);
  FSinceBurst.start();

  connect(AddAction(FBox, "actCopy", "&Copy", QKeySequence::Copy, Qt::WidgetShortcut), &QAction::triggered, this,
          &TTraceList::CopySelected);
  connect(AddAction(FBox, "actCopyAll", "Copy &All", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
                    Qt::WidgetShortcut),
          &QAction::triggered, this, &TTraceList::CopyAll);
  connect(AddAction(FBox, "actSaveTrace", QString::fromUtf8("&Save Trace\u2026"), QKeySequence::Save,
                    Qt::WindowShortcut),
          &QAction::triggered, this, &TTraceList::SaveAs);
  FBox->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TTraceList::Append(const TraceLine& line) {
  QString shown = Bytes(FormatTraceLine(line));
  const int length = static_cast<int>(std::min<qsizetype>(shown.size(), 1 << 24));
  if (length + kLineSlack > FMaxLineLength) FMaxLineLength = length + kLineSlack;
  FWaiting.push_back(std::move(shown));
  if (FBurst.isActive()) return;
  // A line after a quiet spell shows at once; the lines of a dump wait for the next burst.
  const qint64 since = FSinceBurst.elapsed();
  FBurst.start(since >= kBurstMs ? 0 : static_cast<int>(kBurstMs - since));
}

void TTraceList::Flush() {
  FBurst.stop();
  if (FWaiting.empty()) return;
  FSinceBurst.restart();
  FBox->setUpdatesEnabled(false);
  FBox->AddLines(std::move(FWaiting));
  FWaiting.clear();
  // The list clamps the top line; the newest line ends up in view.
  FBox->SetTopIndex(FBox->Count() - FBox->viewport()->height() / FLineHeight + 2);
  FBox->SetHorizontalExtent(FMaxLineLength * FCharWidth);
  FBox->setUpdatesEnabled(true);
}

int TTraceList::Count() const { return FBox->Count() + static_cast<int>(FWaiting.size()); }

void TTraceList::Clear() {
  FBurst.stop();
  FWaiting.clear();
  FBox->Clear();
}

void TTraceList::SetTest(const RunSettings& settings, const QString& port_text, const QDateTime& started) {
  FSettings = settings;
  FPortText = port_text;
  FStarted = started;
}

QString TTraceList::Text(bool with_header) {
  Flush();
  QString out;
  if (with_header) {
    out += "Zelvan Probe trace\n";
    if (FStarted.isValid()) {
      out += "Server: " + Bytes(FSettings.server) + "\n";
      out += QString("Port: %1 (%2)\n").arg(FPortText).arg(FSettings.port);
      out += "Route Code: " + Bytes(FSettings.route_code) + "\n";
      out += "Test started: " + FStarted.toString("yyyy-MM-dd hh:mm:ss") + "\n";
    }
    out += "\n";
  }
  for (int i = 0; i < FBox->Count(); ++i) {
    out += FBox->Line(i);
    out += u'\n';
  }
  return out;
}

bool TTraceList::Save(const QString& path) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  // Each character of a line is one byte of the original text.
  const QByteArray bytes = Text(true).toLatin1();
  if (file.write(bytes) != bytes.size()) return false;
  return file.commit();
}

void TTraceList::CopySelected() {
  const int index = FBox->ItemIndex();
  if (index >= 0) QGuiApplication::clipboard()->setText(FBox->Line(index));
}

void TTraceList::CopyAll() { QGuiApplication::clipboard()->setText(Text(true)); }

void TTraceList::SaveAs() {
  const QString suggested =
      "zelvan-probe-trace-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss") + ".txt";
  const QString path = QFileDialog::getSaveFileName(FBox->window(), "Save Trace", suggested,
                                                    "Text files (*.txt);;All files (*)");
  if (path.isEmpty() || Save(path)) return;
  QMessageBox box(QMessageBox::Critical, "Zelvan Probe", "Can't save the trace to " + path, QMessageBox::Ok,
                  FBox->window());
  box.setObjectName("ApplicationErrorBox");
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace zp
