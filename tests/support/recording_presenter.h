// A message-box presenter for tests: records every box and answers from a
// script.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include <QString>

#include "platform/ui/msgbox.h"

namespace test {

struct Box {
  QString prompt;
  int style = 0;
  QString title;
};

class RecordingPresenter : public MsgBoxPresenter {
 public:
  // Installs itself for the lifetime of the object when `install` is true.
  explicit RecordingPresenter(bool install = false);
  ~RecordingPresenter() override;

  int present(const QString& prompt, int style, const QString& title) override;

  // Answers for the coming boxes, in order; when none is left, OK boxes
  // answer 1 and Yes/No boxes answer `defaultYesNo`.
  void script(std::initializer_list<int> answers);
  int defaultYesNo = vbNo;

  // Called with each box as it is shown, before it is answered.
  std::function<void(const Box&)> onShow;

  std::vector<Box> boxes;

 private:
  std::deque<int> m_answers;
  bool m_installed = false;
  MsgBoxPresenter* m_previous = nullptr;
};

}  // namespace test
