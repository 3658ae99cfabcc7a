// The three standard messages with which the purge workflow tells the
// operator how a step ended.
#pragma once

#include <QString>

// Warning box (style 48): the header (or "Process has failed !" when empty),
// an empty line, "The following error has occurred:" and the description;
// titled `title`, or "Process has failed !" when that is empty.
void ShowProcessFailed(const QString& errDesc, const QString& header, const QString& title);

// Information box (style 64) "<caption> has been finished successfully !",
// titled with the application title.
void ShowFinished(const QString& caption);

// Critical box (style 16) "<caption> has failed to complete...", titled with
// the application title.
void ShowFailed(const QString& caption);
