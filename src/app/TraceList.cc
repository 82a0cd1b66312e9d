#include "app/TraceList.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>
#include <algorithm>

#include "app/QtText.h"
#include "app/TabBox.h"

namespace zp {

namespace {

QAction* AddAction(ZTabListBox* box, const char* name, const QString& text, const QKeySequence& keys,
                   Qt::ShortcutContext context) {
  auto* action = new QAction(text, box);
  action->setObjectName(name);
  action->setShortcut(keys);
  action->setShortcutContext(context);
  box->addAction(action);
  return action;
}

// Every character as wide as the next, so that the columns of a hex dump line up; the
// size follows the window's own font.
QFont FixedFont(const QFont& like) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  if (like.pixelSize() > 0) font.setPixelSize(like.pixelSize());
  else font.setPointSizeF(like.pointSizeF());
  // The system's fixed font may resolve to a face with some double-width glyphs, which
  // the font system does not count as fixed pitch: then take the first truly fixed one.
  if (!QFontInfo(font).fixedPitch()) {
    const QStringList families = QFontDatabase::families();
    const auto fixed = std::find_if(families.begin(), families.end(),
                                    [](const QString& f) { return QFontDatabase::isFixedPitch(f); });
    if (fixed != families.end()) font.setFamily(*fixed);
  }
  return font;
}

QByteArray Encode(const QString& text) {
  QByteArray out;
  out.reserve(text.size());
  for (const QChar c : text) {
    if (c.unicode() <= 0xFF) out.append(static_cast<char>(c.unicode()));
    else out.append(QString(c).toUtf8());
  }
  return out;
}

}  // namespace

TTraceList::TTraceList(ZTabListBox* box) : QObject(box), FBox(box) {
  FBox->setFont(FixedFont(FBox->font()));
  FBox->SetTabStops({50, 100, 150, 200, 250, 300, 350, 400, 450, 500});
  const QFontMetrics fm(FBox->font());
  FLineHeight = std::max(1, fm.height());
  FCharWidth = FBox->AverageCharWidth();
  FMaxLineWidth = 0;

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
  FWaiting.push_back(Bytes(FormatTraceLine(line)));
  if (FBurst.isActive()) return;
  // A line after a quiet spell shows at once; the lines of a dump wait for the next burst.
  const qint64 since = FSinceBurst.elapsed();
  FBurst.start(since >= kBurstMs ? 0 : static_cast<int>(kBurstMs - since));
}

void TTraceList::Flush() {
  FBurst.stop();
  if (FWaiting.empty()) return;
  FSinceBurst.restart();
  for (const QString& line : FWaiting) FMaxLineWidth = std::max(FMaxLineWidth, FBox->ColumnWidth(line));
  FBox->setUpdatesEnabled(false);
  FBox->AddLines(std::move(FWaiting));
  FWaiting.clear();
  // One character to spare, so that the end of the widest line is never cut.
  FBox->SetHorizontalExtent(FMaxLineWidth + FCharWidth);
  // Only now: a scroll bar the width brings takes a line's room, and the newest line
  // must show whole above it. The list clamps the top line to the last full page.
  FBox->SetTopIndex(FBox->Count());
  FBox->setUpdatesEnabled(true);
}

int TTraceList::Count() const { return FBox->Count() + static_cast<int>(FWaiting.size()); }

void TTraceList::Clear(bool keep_last_test) {
  FBurst.stop();
  FWaiting.clear();
  FBox->Clear();
  FMaxLineWidth = 0;
  FBox->SetHorizontalExtent(0);
  FBox->horizontalScrollBar()->setValue(0);
  if (keep_last_test && !FTests.empty()) FTests.erase(FTests.begin(), FTests.end() - 1);
  else FTests.clear();
}

void TTraceList::StartTest(const TestStart& start) {
  FTests.push_back(QString::fromUtf8(start.heading));
  FWaiting.push_back(QString::fromUtf8(start.line));
  Flush();
  FBox->horizontalScrollBar()->setValue(0);
}

QString TTraceList::Text(bool with_header) {
  Flush();
  QString out;
  if (with_header) {
    out += "Zelvan Probe trace\n";
    for (const QString& heading : FTests) out += heading + u'\n';
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
  const QByteArray bytes = Encode(Text(true));
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
