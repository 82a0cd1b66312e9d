#include "app/ResultBanner.h"

#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QWidget>

namespace zp {

namespace {

QStyle::StandardPixmap IconOf(BannerKind kind) {
  switch (kind) {
    case BannerKind::Success: return QStyle::SP_DialogApplyButton;
    case BannerKind::SomeRoutesFailed: return QStyle::SP_MessageBoxWarning;
    default: return QStyle::SP_MessageBoxCritical;
  }
}

QColor Rgb(std::uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// A stop is the operator's doing, not a fault: a square on a disc in the stopped colour,
// where a failure has a cross.
QPixmap StoppedIcon(const BannerView& banner, int size, qreal ratio) {
  QPixmap pixmap(QSize(size, size) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF disc(0.5, 0.5, size - 1.0, size - 1.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Rgb(banner.on_light));
  painter.drawEllipse(disc);
  const qreal side = size * 0.38;
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(QRectF(disc.center().x() - side / 2, disc.center().y() - side / 2, side, side), 1, 1);
  return pixmap;
}

}  // namespace

QColor LookColour(std::uint32_t on_light, std::uint32_t on_dark, const QWidget* owner) {
  const bool dark = owner->palette().color(QPalette::Window).lightness() < 128;
  return Rgb(dark ? on_dark : on_light);
}

QColor BannerColour(const BannerView& banner, const QWidget* owner) {
  return LookColour(banner.on_light, banner.on_dark, owner);
}

QPixmap BannerIcon(const BannerView& banner, int size, QWidget* owner) {
  if (banner.kind == BannerKind::Stopped) return StoppedIcon(banner, size, owner->devicePixelRatioF());
  return owner->style()->standardIcon(IconOf(banner.kind), nullptr, owner).pixmap(size, size);
}

void ShowResultBanner(QLabel* text, QLabel* icon, const BannerView& banner, QWidget* owner) {
  QFont font = text->parentWidget() != nullptr ? text->parentWidget()->font() : text->font();
  font.setBold(true);
  if (font.pixelSize() > 0) font.setPixelSize(font.pixelSize() * 3 / 2);
  else font.setPointSizeF(font.pointSizeF() * 1.5);
  text->setText(QString::fromUtf8(banner.spaced));
  text->setFont(font);
  QPalette palette = text->palette();
  palette.setColor(QPalette::WindowText, BannerColour(banner, text));
  text->setPalette(palette);
  icon->setPixmap(BannerIcon(banner, QFontMetrics(font).height(), owner));
  icon->setAccessibleName(QString::fromUtf8(banner.word));
  icon->show();
}

}  // namespace zp
