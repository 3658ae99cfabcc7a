// Fixed-size labels drawn with a stand-in font.
#include "platform/ui/fit_text.h"

#include <climits>

#include <QFontMetrics>
#include <QLabel>

namespace layout {
namespace {

bool fits(const QLabel* label, const QFont& font) {
  const QFontMetrics metrics(font);
  const QRect box = label->contentsRect();
  if (!label->wordWrap()) return metrics.horizontalAdvance(label->text()) <= box.width();
  const QRect needed = metrics.boundingRect(QRect(0, 0, box.width(), INT_MAX), Qt::TextWordWrap, label->text());
  return needed.height() <= box.height();
}

}  // namespace

void fitText(QLabel* label, const QFont& design, double minPoints) {
  QFont font = design;
  while (!fits(label, font) && font.pointSizeF() - 0.25 >= minPoints) font.setPointSizeF(font.pointSizeF() - 0.25);
  label->setFont(font);
}

}  // namespace layout
