// Small helpers shared by the test programs: a default locale for a scope,
// and catching the run-time error a routine is expected to raise.
#pragma once

#include <QLocale>
#include <QString>
#include <gtest/gtest.h>

#include "platform/runtime_error.h"

namespace test {

// Sets the default locale for the life of the object.
class LocaleScope {
 public:
  explicit LocaleScope(const char* name) : m_saved(QLocale()) {
    QLocale::setDefault(QLocale(QString::fromLatin1(name)));
  }
  ~LocaleScope() { QLocale::setDefault(m_saved); }

 private:
  QLocale m_saved;
};

// Runs `steps`, expecting a RuntimeError; returns it.
template <class F>
RuntimeError raised(F steps) {
  try {
    steps();
  } catch (const RuntimeError& e) {
    return e;
  }
  ADD_FAILURE() << "no run-time error was raised";
  return RuntimeError(0, QString());
}

}  // namespace test
