#pragma once
#include <QLabel>

namespace zp {

// A label that shows its text as it is: texts from the network never act as markup.
inline QLabel* PlainLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace zp
