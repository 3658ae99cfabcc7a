// The pictures of the feedback mail window, drawn at run time.
#pragma once

#include <QColor>
#include <QPixmap>

namespace emailicons {

// The mask colour of the toolbar images: light grey, transparent when drawn.
inline const QColor kMaskColour(0xC0, 0xC0, 0xC0);

// The three 32 x 32 toolbar images: Send (a letter), Cancel (a red cross),
// About (a question mark), masked with kMaskColour.
QPixmap sendImage();
QPixmap cancelImage();
QPixmap aboutImage();

// The attachment picture, a page with lines, at `size` pixels square.
QPixmap attachmentImage(int size);

}  // namespace emailicons
