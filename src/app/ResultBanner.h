#pragma once
#include "session/SessionView.h"

class QLabel;
class QWidget;

namespace zp {

// Shows an ended test's banner in `text`, bold, larger and in the result's colour, with
// the result's icon in `icon` (from `owner`'s style). Words and icon carry the result;
// the colour only repeats it.
void ShowResultBanner(QLabel* text, QLabel* icon, const BannerView& banner, QWidget* owner);

}  // namespace zp
