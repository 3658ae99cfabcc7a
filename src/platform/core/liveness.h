// Long steps of a purge run (a copy, a delete, a compaction) done on a thread
// of their own while the program's thread keeps its windows painted and
// answering the window system. No user input is handled meanwhile.
#pragma once

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace liveness {

// While one of these lives, run() called on the application's thread hands
// its work to a worker thread and processes pending events other than user
// input (keys, mouse, touch, close requests) until the work has ended.
// Without one, run() simply calls the work: the command line, the tests of
// single routines and the bench's child keep their plain behaviour.
class Responsive {
 public:
  Responsive();
  ~Responsive();
  Responsive(const Responsive&) = delete;
  Responsive& operator=(const Responsive&) = delete;
};

// Runs `work` to its end and returns when it has. An exception thrown by the
// work reaches the caller. The work must not touch windows.
void runWork(const std::function<void()>& work);

// The same for work with a result.
template <class F>
auto run(F&& work) -> decltype(work()) {
  using Result = decltype(work());
  if constexpr (std::is_void_v<Result>) {
    runWork(std::forward<F>(work));
  } else {
    std::optional<Result> result;
    runWork([&] { result.emplace(work()); });
    return std::move(*result);
  }
}

}  // namespace liveness
