// Starting programs without waiting, and the desktop's default open action,
// each through a seam that tests can replace.
#pragma once

#include <functional>

#include <QString>
#include <QStringList>

namespace process {

// Starts `program` with `arguments` (never through a shell), without waiting.
// Returns false when it could not be started.
bool startDetached(const QString& program, const QStringList& arguments);

// Hands `text` to the desktop's default open action (a mailto: address, a
// web page). The result is not examined. Built into the platform's UI
// library (desktop_link.cpp): the core does not link Qt Gui.
void openLink(const QString& text);

using Starter = std::function<bool(const QString& program, const QStringList& arguments)>;
using Opener = std::function<void(const QString& text)>;

// Replace the starter or the opener; an empty function restores the real one.
void setStarter(Starter starter);
void setOpener(Opener opener);

}  // namespace process
