// The pictures of the feedback mail window, drawn with QPainter on the mask
// colour, which is then made transparent.
#include "errortracking/email_icons.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>

namespace emailicons {
namespace {

template <class Draw>
QPixmap masked(int size, Draw draw) {
  QPixmap pm(size, size);
  pm.fill(kMaskColour);
  {
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    draw(p, size);
  }
  pm.setMask(pm.createMaskFromColor(kMaskColour, Qt::MaskInColor));
  return pm;
}

}  // namespace

QPixmap sendImage() {
  return masked(32, [](QPainter& p, int) {
    p.setPen(QPen(QColor(0, 0, 128), 1));
    p.setBrush(QColor(255, 255, 224));
    p.drawRect(3, 8, 25, 17);
    p.drawLine(3, 8, 15, 18);
    p.drawLine(28, 8, 16, 18);
    p.setBrush(QColor(192, 0, 0));
    p.drawRect(22, 10, 4, 4);
  });
}

QPixmap cancelImage() {
  return masked(32, [](QPainter& p, int) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(192, 0, 0));
    p.drawEllipse(4, 4, 23, 23);
    p.setPen(QPen(Qt::white, 3));
    p.drawLine(11, 11, 20, 20);
    p.drawLine(20, 11, 11, 20);
  });
}

QPixmap aboutImage() {
  return masked(32, [](QPainter& p, int) {
    p.setPen(QPen(QColor(0, 0, 128), 1));
    p.setBrush(QColor(255, 255, 160));
    p.drawEllipse(4, 4, 23, 23);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(18);
    p.setFont(f);
    p.setPen(QColor(0, 0, 128));
    p.drawText(QRect(4, 4, 24, 24), Qt::AlignCenter, QStringLiteral("?"));
  });
}

QPixmap attachmentImage(int size) {
  return masked(size, [](QPainter& p, int s) {
    const int m = s / 8;
    const int fold = s / 4;
    QPainterPath page;
    page.moveTo(m + 2, m);
    page.lineTo(s - m - fold, m);
    page.lineTo(s - m - 1, m + fold);
    page.lineTo(s - m - 1, s - m - 1);
    page.lineTo(m + 2, s - m - 1);
    page.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setPen(QPen(QColor(0, 0, 160), 1));
    for (int y = m + fold + 2; y < s - m - 3; y += qMax(2, s / 10)) p.drawLine(m + 5, y, s - m - 5, y);
  });
}

}  // namespace emailicons
