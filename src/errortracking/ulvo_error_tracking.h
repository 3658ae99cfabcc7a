// The error tracker: appends error records to ErrStack.log, keeps a running
// error count per program in the settings store, and offers to mail the log
// to the support group. None of its operations catches failures: each throws
// a RuntimeError with number and description, keeping what it did before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <type_traits>

#include <QString>
#include <QVariant>
#include <QVariantList>

// The arguments of Init; a member left empty is omitted and takes its default.
struct ulvoInitArgs {
  std::optional<QVariant> sProg = std::nullopt;
  std::optional<QVariant> sLogFile = std::nullopt;
  std::optional<QVariant> sSYS = std::nullopt;
  std::optional<QVariant> sVer = std::nullopt;
  std::optional<QVariant> sUser = std::nullopt;
  std::optional<QVariant> bAppend = std::nullopt;
  std::optional<QVariant> bCreate = std::nullopt;
  std::optional<QVariant> bMsg = std::nullopt;
  std::optional<QVariant> bDebug = std::nullopt;
  std::optional<QVariant> iLogLevel = std::nullopt;
};

class ulvoErrorTracking {
 public:
  // The properties; empty, false and 0 until Init.
  QString LogFile;
  QString System;
  QString Program;
  QString Version;
  QString User;
  bool Append = false;
  bool CreateFile = false;
  int16_t LogLevel = 0;
  bool ShowMsg = false;
  bool ShowDebug = false;

  // The operating-system login name, or empty text when it cannot be had.
  QString sysUserName() const;

  // Sets every property from its argument, converted to the property's type,
  // or to its default when omitted; stores the count "0" when no log file
  // exists; deletes the log when CreateFile is true and Append false.
  // Throws on a value that does not convert, a settings store that cannot be
  // written or a log that cannot be deleted.
  void Init(const ulvoInitArgs& args = {});

  // Records one error of type `iMsgType` (level = type AND 15; bit 16 also
  // prints, bit 32 also shows a box) with any number of values of any type,
  // then raises the count and offers to mail the log. Returns at once when
  // the level is above LogLevel. Throws when the log cannot be written
  // (nothing of the record is then in the file), the count cannot be read,
  // stored or raised (a record already written stays).
  template <class... Args>
  void LogIt(uint8_t iMsgType, const Args&... args) {
    LogItValues(iMsgType, QVariantList{toVariant(args)...});
  }
  void LogItValues(uint8_t iMsgType, const QVariantList& args);

  // Shows `sMsg` in a plain box titled with the application title when
  // ShowMsg is true.
  void DbgBox(const QString& sMsg) const;

  // Accepts the text of a logged message; debug output goes nowhere.
  void DbgPrint(const QString& sMsg) const;

  // The whole log as text; a missing log is created empty first. Throws when
  // it can be neither read nor created.
  QString Display() const;

  // Asks whether to delete the log; on Yes deletes `LogFile` when present and
  // stores the count "0" for `Program`. Throws when the file cannot be
  // deleted (the count is then left) or the count cannot be stored.
  void deleteErrLogDll(const QString& Program, const QString& LogFile) const;

  // A value of any supported type as the variant LogIt records.
  static QVariant toVariant(const QVariant& v) { return v; }
  static QVariant toVariant(std::nullptr_t) { return QVariant(); }
  static QVariant toVariant(const QString& v) { return v; }
  static QVariant toVariant(const char* v) { return v ? QVariant(QString::fromUtf8(v)) : QVariant(); }
  static QVariant toVariant(bool v) { return QVariant(v); }
  template <class T>
  requires(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>) static QVariant toVariant(T v) {
    if constexpr (std::is_floating_point_v<T>)
      return QVariant(static_cast<double>(v));
    else if constexpr (std::is_signed_v<T>)
      return QVariant(static_cast<qlonglong>(v));
    else
      return QVariant(static_cast<qulonglong>(v));
  }
  template <class T>
  static QVariant toVariant(const std::optional<T>& v) {
    return v ? toVariant(*v) : QVariant();
  }

 private:
  // Deletes the file at `path` when present; true when one was deleted.
  bool KillLogFile(const QString& path) const;

  // Raises the count, tells the user and, on Yes, shows the mail window.
  void ShowErrReport(const QString& errNumber, const QString& errDescription) const;
};

// The settings-store address of a program's error count.
inline const char* const kErrLogSection = "ErrLog";
inline const char* const kErrCountKey = "HowMany_Errs";
