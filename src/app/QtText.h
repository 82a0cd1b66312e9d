#pragma once
#include <QString>
#include <string>

#include "run/TraceLine.h"

namespace zp {

// Bytes as the window shows them: one character per byte. Texts from the network are
// escaped before they get here (EscapeControls), so none of them acts as layout.
inline QString Bytes(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Texts the probe keeps in UTF-8 that hold bytes from the network (route names and
// reasons in the history): control bytes escaped, the rest as the UTF-8 it is.
inline QString Escaped(const std::string& text) {
  const std::string shown = EscapeControls(text);
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

// What the operator typed, back to bytes for the worker.
inline std::string Latin1(const QString& text) { return text.toLatin1().toStdString(); }

}  // namespace zp
