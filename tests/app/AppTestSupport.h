#pragma once
// Helpers for window tests on the offscreen platform.
#include <QApplication>
#include <QDialog>
#include <QStringList>
#include <QTextLayout>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/TabBox.h"

namespace zp::test {

// Handles modal windows as they come up. A modal exec() blocks the code that opened
// it, so a timer polls for the active modal widget and hands it to `handle`, which
// must close it. Stops with the watcher.
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<void(QWidget*)> handle) : FHandle(std::move(handle)) {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal != nullptr && modal != FLast) {
        FLast = modal;
        ++FSeen;
        // A dialog shown again (the results window, a box at the same address) is a new
        // one to handle, even when no tick saw it gone in between.
        if (auto* dialog = qobject_cast<QDialog*>(modal))
          QObject::connect(dialog, &QDialog::finished, dialog, [this] { FLast = nullptr; }, Qt::SingleShotConnection);
        FHandle(modal);
      } else if (modal == nullptr) {
        FLast = nullptr;
      }
    });
    FTimer.start(10);
  }
  int Seen() const { return FSeen; }

 private:
  std::function<void(QWidget*)> FHandle;
  QTimer FTimer;
  QWidget* FLast = nullptr;
  int FSeen = 0;
};

inline QStringList Lines(const ZTabListBox& box) {
  QStringList lines;
  for (int i = 0; i < box.Count(); ++i) lines << box.Line(i);
  return lines;
}

// Where the text after the `column`-th tab of `line` starts, laid out as the list
// box draws it.
inline qreal ColumnX(const ZTabListBox& box, const QString& line, int column) {
  int pos = 0;
  for (int i = 0; i < column; ++i) pos = static_cast<int>(line.indexOf(u'\t', pos)) + 1;
  QTextLayout layout(line, box.font());
  layout.setTextOption(box.TabOption());
  layout.beginLayout();
  QTextLine text_line = layout.createLine();
  layout.endLayout();
  return text_line.cursorToX(pos);
}

}  // namespace zp::test
