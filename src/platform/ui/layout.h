// Fixed window geometry in twips, colours as 0x00BBGGRR and the classic
// sans-serif font, mapped onto Qt.
#pragma once

#include <cstdint>

#include <QColor>
#include <QFont>
#include <QRect>

namespace layout {

// 15 twips are one pixel at 96 dots per inch.
inline int px(int twips) { return (twips + 7) / 15; }

// A rectangle given as left, top, width, height in twips.
inline QRect twips(int left, int top, int width, int height) { return QRect(px(left), px(top), px(width), px(height)); }

// A colour given as 0x00BBGGRR (red in the lowest byte).
inline QColor bgr(uint32_t value) { return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF); }

// "MS Sans Serif" at a point size; the system's sans-serif stands in.
inline QFont msSansSerif(double points, bool bold = false) {
  QFont f(QStringLiteral("MS Sans Serif"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(points);
  f.setBold(bold);
  return f;
}

}  // namespace layout
