#include "app/ResultBanner.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QStyle>
#include <QWidget>

#include "run/RunWords.h"

namespace zp {

namespace {

struct BannerLook {
  QStyle::StandardPixmap icon;
  QColor on_light, on_dark;
};

// Each result has a shade for light and one for dark backgrounds, so that it stays
// readable in either contrast.
BannerLook LookOf(const RunSnapshot& run) {
  if (run.stopped) return {QStyle::SP_BrowserStop, QColor(0x5A, 0x4A, 0x00), QColor(0xFF, 0xE0, 0x66)};
  switch (run.result_code) {
    case 1: return {QStyle::SP_DialogApplyButton, QColor(0x1B, 0x5E, 0x20), QColor(0x8C, 0xF0, 0x8C)};
    case 2: return {QStyle::SP_MessageBoxWarning, QColor(0x8A, 0x45, 0x00), QColor(0xFF, 0xB8, 0x4D)};
    default: return {QStyle::SP_MessageBoxCritical, QColor(0xA0, 0x10, 0x10), QColor(0xFF, 0x8A, 0x8A)};
  }
}

}  // namespace

void ShowResultBanner(QLabel* text, QLabel* icon, const RunSnapshot& run, QWidget* owner) {
  const BannerLook look = LookOf(run);
  QFont font = text->parentWidget() != nullptr ? text->parentWidget()->font() : text->font();
  font.setBold(true);
  if (font.pixelSize() > 0) font.setPixelSize(font.pixelSize() * 3 / 2);
  else font.setPointSizeF(font.pointSizeF() * 1.5);
  text->setText(RunBanner(run));
  text->setFont(font);
  QPalette palette = text->palette();
  const bool dark = palette.color(QPalette::Window).lightness() < 128;
  palette.setColor(QPalette::WindowText, dark ? look.on_dark : look.on_light);
  text->setPalette(palette);
  const int size = QFontMetrics(font).height();
  icon->setPixmap(owner->style()->standardIcon(look.icon, nullptr, owner).pixmap(size, size));
  icon->setAccessibleName(RunBannerWord(run));
  icon->show();
}

}  // namespace zp
