// Fixed-size labels drawn with a stand-in font: the system's sans-serif runs
// wider than the classic one, so a text that would be clipped in its box is
// drawn a little smaller instead.
#pragma once

#include <QFont>

class QLabel;

namespace layout {

// Sets `label`'s font to `design`, or to the largest size below it (in
// quarter points, not below `minPoints`) at which the label's whole text fits
// its current box, word-wrapped when the label wraps.
void fitText(QLabel* label, const QFont& design, double minPoints = 6.0);

}  // namespace layout
