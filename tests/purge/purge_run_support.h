// A purge run under test: the main window on a shop database in the sandbox
// drive, with the clock fixed, the boxes scripted and the progress texts and
// boxes recorded in the order the operator sees them.
#pragma once

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>

#include "support/recording_presenter.h"

class PurgeDatabase;

namespace test {

// The run's final boxes as the recorder writes them.
inline const QString kSuccess = QStringLiteral("box 64: Purge has been finished successfully !");
inline const QString kFailure = QStringLiteral("box 16: Purge has failed to complete...");

// "C:\kestrova\..." as the test sees it.
QString drivePath(const QString& name);

// The main window, loaded afresh, with its options set.
struct RunOptions {
  bool contacts = false;
  bool invoices = false;
  bool shipments = false;
  QDate cutOff = QDate(2004, 3, 5);
};

class PurgeRunRecorder : public QObject {
 public:
  PurgeRunRecorder();
  ~PurgeRunRecorder() override;

  // Presses Purge on a freshly loaded main window set up with `options`.
  void purge(const RunOptions& options);

  // Progress texts ("progress: ...") and boxes ("box <style>: <prompt>"), in order.
  QStringList events;
  // True when every progress text was shown with the busy pointer, and every
  // box after the first progress text with the default pointer.
  bool busyWhileWorking = true;
  RecordingPresenter boxes{true};

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString m_lastProgress;
};

// The progress texts alone, in order.
QStringList progressOf(const QStringList& events);

}  // namespace test
