// Purge Database: the program starts on its main window.
#include <QApplication>

#include "platform/app.h"
#include "purge/purge_database.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(app::title());
  QApplication::setApplicationVersion(app::versionText());
  QApplication::setOrganizationName(QString::fromUtf8(app::kCompany));
  QApplication::setDesktopFileName(QStringLiteral("purge-database"));

  MainWindow().get()->show();
  return application.exec();
}
