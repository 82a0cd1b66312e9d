#pragma once
#include "run/RunRecord.h"

class QLabel;
class QWidget;

namespace zp {

// Shows a run's banner in `text`, bold, larger and coloured by result, with the result's
// icon in `icon` (from `owner`'s style). Words and icon carry the result; the colour only
// repeats it.
void ShowResultBanner(QLabel* text, QLabel* icon, const RunSnapshot& run, QWidget* owner);

}  // namespace zp
