// Small helpers shared by the test programs: a default locale, an
// environment variable or a seam's replacement for a scope, and catching
// the run-time error a routine is expected to raise.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include <gtest/gtest.h>
#include <QLocale>
#include <QString>

#include "platform/core/runtime_error.h"
#include "platform/core/status.h"

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

// Sets (or, given nullptr, removes) one environment variable for the life of
// the object; the destructor puts back the value it had, or removes it again
// when it had none.
class EnvScope {
 public:
  EnvScope(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_saved = old;
    set(value);
  }
  EnvScope(const char* name, const QString& value) : EnvScope(name, value.toLocal8Bit().constData()) {}
  ~EnvScope() { set(m_saved ? m_saved->c_str() : nullptr); }
  EnvScope(const EnvScope&) = delete;
  EnvScope& operator=(const EnvScope&) = delete;

 private:
  void set(const char* value) {
    if (value)
      ::setenv(m_name.c_str(), value, 1);
    else
      ::unsetenv(m_name.c_str());
  }

  std::string m_name;
  std::optional<std::string> m_saved;
};

// Installs a replacement through one of the platform's seams (a setter that
// takes a std::function, an empty one meaning "the real thing") for the life
// of the object; the destructor puts the real one back, also when an
// assertion ends the test early.
template <class Replacement>
class SeamScope {
 public:
  using Setter = void (*)(Replacement);
  SeamScope(Setter set, Replacement replacement) : m_set(set) { m_set(std::move(replacement)); }
  ~SeamScope() { m_set(Replacement()); }
  SeamScope(const SeamScope&) = delete;
  SeamScope& operator=(const SeamScope&) = delete;

 private:
  Setter m_set;
};
template <class Replacement, class F>
SeamScope(void (*)(Replacement), F) -> SeamScope<Replacement>;

// Runs `steps`, expecting a RuntimeError (or, from steps that return a
// Status, a failed one); returns it.
template <class F>
RuntimeError raised(F steps) {
  try {
    if constexpr (std::is_same_v<decltype(steps()), Status>) {
      const Status failed = steps();
      if (!failed.ok()) return RuntimeError(failed.number(), failed.description());
    } else {
      steps();
    }
  } catch (const RuntimeError& e) {
    return e;
  }
  ADD_FAILURE() << "no run-time error was raised";
  return RuntimeError(0, QString());
}

}  // namespace test
