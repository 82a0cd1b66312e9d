#include "app/TabDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "app/TabBox.h"

namespace zp {

namespace {

// A line from the network may hold any byte. Line breaks and other control bytes
// would break the row or vanish; show them as one replacement mark each instead.
QString ForDisplay(const QString& text) {
  QString shown = text;
  for (QChar& c : shown) {
    const char16_t u = c.unicode();
    if ((u < 0x20 && u != u'\t') || (u >= 0x7F && u < 0xA0)) c = QChar(0xFFFD);
  }
  return shown;
}

// A failed line's mark: a disc in the mark's colour with a white cross, so that it
// tells itself apart by shape as well as by colour.
void PaintFailedMark(QPainter* painter, const QRect& gutter, const QColor& colour) {
  const int size = std::max(6, std::min(gutter.width(), gutter.height()) - 4);
  const QRectF disc(gutter.center().x() - size / 2.0 + 0.5, gutter.center().y() - size / 2.0 + 0.5, size, size);
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setPen(Qt::NoPen);
  painter->setBrush(colour);
  painter->drawEllipse(disc);
  const qreal arm = size * 0.22;
  painter->setPen(QPen(Qt::white, std::max<qreal>(1.5, size / 7.0), Qt::SolidLine, Qt::RoundCap));
  painter->drawLine(disc.center() + QPointF(-arm, -arm), disc.center() + QPointF(arm, arm));
  painter->drawLine(disc.center() + QPointF(-arm, arm), disc.center() + QPointF(arm, -arm));
}

}  // namespace

ZTabDelegate::ZTabDelegate(ZTabListBox* box) : QStyledItemDelegate(box), FBox(box) {}

void ZTabDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QString text = opt.text;
  // The style paints the row (selection, focus) without text; the text follows with
  // the tab stops, which the style's own text drawing would ignore.
  opt.text.clear();
  const QWidget* widget = opt.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

  const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                     : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                         : QPalette::Inactive;
  const bool selected = (opt.state & QStyle::State_Selected) != 0;
  const LineMark mark = FBox->Mark(index.row());
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
  const int gutter = FBox->MarkGutter();
  painter->save();
  if (mark == LineMark::Failed)
    PaintFailedMark(painter, QRect(opt.rect.left() + margin, opt.rect.top(), gutter, opt.rect.height()),
                    FBox->FailedColour());
  painter->setPen(mark == LineMark::Failed && !selected
                      ? FBox->FailedColour()
                      : opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
  painter->setFont(opt.font);
  painter->drawText(QRectF(opt.rect.adjusted(margin + gutter, 0, 0, 0)), ForDisplay(text), FBox->TabOption());
  painter->restore();
}

QSize ZTabDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return {FBox->HorizontalExtent(), FBox->ItemHeight()};
}

}  // namespace zp
