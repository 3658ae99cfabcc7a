// The three standard messages of the purge workflow.
#include "data/msgbox_.h"

#include "platform/ui/msgbox.h"

namespace {
const QString kProcessFailed = QStringLiteral("Process has failed !");
}  // namespace

void ShowProcessFailed(const QString& errDesc, const QString& header, const QString& title) {
  const QString useHeader = header.isEmpty() ? kProcessFailed : header;
  const QString useTitle = title.isEmpty() ? kProcessFailed : title;
  const QString message =
      useHeader + vbCr + vbCr + QStringLiteral("The following error has occurred:") + vbCr + errDesc;
  MsgBox(message, vbExclamation + vbOKOnly, useTitle);
}

void ShowFinished(const QString& caption) {
  MsgBox(caption + QStringLiteral(" has been finished successfully !"), vbInformation + vbOKOnly);
}

void ShowFailed(const QString& caption) {
  MsgBox(caption + QStringLiteral(" has failed to complete..."), vbCritical + vbOKOnly);
}
