#pragma once
#include <QString>
#include <string>

namespace zp {

// Bytes as the window shows them: one character per byte. Texts from the network are
// escaped before they get here (EscapeControls), so none of them acts as layout.
inline QString Bytes(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// What the operator typed, back to bytes for the worker.
inline std::string Latin1(const QString& text) { return text.toLatin1().toStdString(); }

}  // namespace zp
