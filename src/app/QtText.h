#pragma once
#include <QString>
#include <string>

#include "run/TraceLine.h"

namespace zp {

// A text as the window shows it: UTF-8, as every text the session hands out is. Texts
// from the network are escaped before they get here (EscapeControls leaves only valid
// UTF-8), so none of them acts as layout and a route named "Zürich—β" reads as itself.
inline QString Bytes(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Texts the probe keeps in UTF-8 that hold bytes from the network (route names and
// reasons in the history): control bytes escaped, the rest as the UTF-8 it is.
inline QString Escaped(const std::string& text) {
  const std::string shown = EscapeControls(text);
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

// What the operator typed, back to UTF-8 for the worker.
inline std::string Latin1(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace zp
