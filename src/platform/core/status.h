// The result of a platform or engine operation: ok, or a number and a
// description. Layers below the system's routines return it, never throw.
#pragma once

#include <cstdint>
#include <utility>

#include <QString>

#include "platform/core/runtime_error.h"

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(int32_t number, QString description) {
    return Status(number == 0 ? kErrGeneral : number, std::move(description));
  }

  bool ok() const { return m_number == 0; }
  int32_t number() const { return m_number; }
  const QString& description() const { return m_description; }

  // Throws this status as a RuntimeError when it is not ok.
  void throwIfError() const {
    if (!ok()) throw RuntimeError(m_number, m_description);
  }

 private:
  Status(int32_t number, QString description) : m_number(number), m_description(std::move(description)) {}

  int32_t m_number = 0;
  QString m_description;
};
