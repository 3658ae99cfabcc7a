// Run-time errors: a failure with a number and a description that travels to
// the caller's own failure handling, and the error trap that catches it.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include <QString>

// Error numbers of our own, for failures that carry no platform code.
inline constexpr int32_t kErrGeneral = 5;        // invalid procedure call or argument
inline constexpr int32_t kErrOverflow = 6;       // a number passed its range
inline constexpr int32_t kErrTypeMismatch = 13;  // a text that is not a number

// A run-time error: thrown by a routine, caught by a caller's trap.
class RuntimeError : public std::exception {
 public:
  RuntimeError(int32_t number, QString description)
      : m_number(number), m_description(std::move(description)), m_what(m_description.toStdString()) {}

  int32_t number() const { return m_number; }
  const QString& description() const { return m_description; }
  const char* what() const noexcept override { return m_what.c_str(); }

 private:
  int32_t m_number;
  QString m_description;
  std::string m_what;
};

// What an error trap caught.
struct TrappedError {
  int32_t number = 0;
  QString description;
};

// Runs `steps` under an error trap: returns nothing when they ran to their
// end, or the number and description of the run-time error (or any other
// std::exception) that stopped them. The caller then runs its continuation
// point with what was caught.
template <class Steps>
std::optional<TrappedError> trapErrors(Steps&& steps) {
  try {
    std::forward<Steps>(steps)();
    return std::nullopt;
  } catch (const RuntimeError& e) {
    return TrappedError{e.number(), e.description()};
  } catch (const std::exception& e) {
    return TrappedError{kErrGeneral, QString::fromLocal8Bit(e.what())};
  }
}
