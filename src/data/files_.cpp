// The file routines of the purge workflow.
#include "data/files_.h"

#include "platform/core/app.h"
#include "platform/core/liveness.h"
#include "platform/filesafety/files.h"
#include "platform/ui/msgbox.h"

bool FileExists(const QString& path) {
  // A search that cannot be made at all is a failure of the caller's, not
  // an absent file: it goes to the caller's own failure handling.
  bool present = false;
  files::lookUp(path, present).throwIfError();
  return present;
}

bool DeleteFile(const QString& path, bool showMessage) {
  bool present = true;
  Status s = files::lookUp(path, present);
  if (s.ok() && present && files::removeFile(path).ok()) s = files::lookUp(path, present);
  if (s.ok() && !present) return true;
  if (showMessage) {
    MsgBox(app::title() + QStringLiteral(" program has failed to delete:") + vbCr + path +
               QStringLiteral("  file ...") + vbCr + vbCr +
               QStringLiteral("Please make sure it's not open or its 'ReadOnly' property unchecked !!!"),
           vbInformation, QStringLiteral("Can't Delete a File ..."));
  }
  return false;
}

bool CopyFile(const QString& source, const QString& destination, QString& errDesc, int32_t& errNum) {
  bool result = false;
  Status failure = liveness::run([&] { return files::copyFile(source, destination); });
  // A copy that cannot be looked for afterwards is not one to count on.
  if (failure.ok()) failure = files::lookUp(destination, result);
  errNum = failure.number();
  errDesc = failure.description();
  return result;
}
