#include "app/ResultBanner.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QStyle>
#include <QWidget>


namespace zp {

namespace {

QStyle::StandardPixmap IconOf(BannerKind kind) {
  switch (kind) {
    case BannerKind::Success: return QStyle::SP_DialogApplyButton;
    case BannerKind::SomeRoutesFailed: return QStyle::SP_MessageBoxWarning;
    case BannerKind::Stopped: return QStyle::SP_BrowserStop;
    default: return QStyle::SP_MessageBoxCritical;
  }
}

QColor Rgb(std::uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

}  // namespace

void ShowResultBanner(QLabel* text, QLabel* icon, const BannerView& banner, QWidget* owner) {
  QFont font = text->parentWidget() != nullptr ? text->parentWidget()->font() : text->font();
  font.setBold(true);
  if (font.pixelSize() > 0) font.setPixelSize(font.pixelSize() * 3 / 2);
  else font.setPointSizeF(font.pointSizeF() * 1.5);
  text->setText(QString::fromUtf8(banner.spaced));
  text->setFont(font);
  QPalette palette = text->palette();
  const bool dark = palette.color(QPalette::Window).lightness() < 128;
  palette.setColor(QPalette::WindowText, Rgb(dark ? banner.on_dark : banner.on_light));
  text->setPalette(palette);
  const int size = QFontMetrics(font).height();
  icon->setPixmap(owner->style()->standardIcon(IconOf(banner.kind), nullptr, owner).pixmap(size, size));
  icon->setAccessibleName(QString::fromUtf8(banner.word));
  icon->show();
}

}  // namespace zp
