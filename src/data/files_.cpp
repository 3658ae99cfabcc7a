// The file routines of the purge workflow.
#include "data/files_.h"

#include "platform/core/app.h"
#include "platform/core/liveness.h"
#include "platform/core/paths.h"
#include "platform/core/posix_io.h"
#include "platform/core/runtime_error.h"
#include "platform/filesafety/files.h"
#include "platform/ui/msgbox.h"

#include <sys/stat.h>

#include <cerrno>

#include <QFile>

bool FileExists(const QString& path) {
  // A search that cannot be made at all (a name too long, a loop of links,
  // an I/O error) is a failure of the caller's, not an absent file.
  struct stat st;
  if (::stat(QFile::encodeName(paths::resolve(path)).constData(), &st) != 0 && errno != ENOENT &&
      errno != ENOTDIR) {
    posix::errnoStatus(errno).throwIfError();
  }
  return files::isPresent(path);
}

bool DeleteFile(const QString& path, bool showMessage) {
  bool gone = false;
  trapErrors([&] {
    if (!FileExists(path)) {
      gone = true;
      return;
    }
    if (files::removeFile(path).ok()) gone = !FileExists(path);
  });
  if (gone) return true;
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
  if (failure.ok()) {
    // A copy that cannot be looked for afterwards is not one to count on.
    if (const auto trapped = trapErrors([&] { result = FileExists(destination); }))
      failure = Status::Error(trapped->number, trapped->description);
  }
  errNum = failure.number();
  errDesc = failure.description();
  return result;
}
