// The system's 8-bit text for the error log: Windows-1252, where characters
// it cannot hold are written as '?'.
#pragma once

#include <QByteArray>
#include <QString>

namespace ansi {

// `text` in the 8-bit code page; each character outside it becomes one '?'.
QByteArray encode(const QString& text);

// 8-bit bytes back to text; every byte gives one character.
QString decode(const QByteArray& bytes);

}  // namespace ansi
