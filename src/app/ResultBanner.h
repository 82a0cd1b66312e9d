#pragma once
#include <QColor>
#include <QPixmap>

#include "session/SessionView.h"

class QLabel;
class QWidget;

namespace zp {

// Shows an ended test's banner in `text`, bold, larger and in the result's colour, with
// the result's icon in `icon`. Words and icon carry the result; the colour only repeats it.
void ShowResultBanner(QLabel* text, QLabel* icon, const BannerView& banner, QWidget* owner);

// The result's icon, `size` pixels square: the style's own for success, some routes
// failed and failure (from `owner`'s style); for a stopped test one of its own, a stop
// square, so that it never looks like a failure.
QPixmap BannerIcon(const BannerView& banner, int size, QWidget* owner);

// A colour the session gives for a light and a dark background, for the background
// `owner` shows it on; the banner's colour so.
QColor LookColour(std::uint32_t on_light, std::uint32_t on_dark, const QWidget* owner);
QColor BannerColour(const BannerView& banner, const QWidget* owner);

}  // namespace zp
