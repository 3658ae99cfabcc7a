// A message-box presenter for tests.
#include "support/recording_presenter.h"

namespace test {

RecordingPresenter::RecordingPresenter(bool install) : m_installed(install) {
  if (install) m_previous = setMsgBoxPresenter(this);
}

RecordingPresenter::~RecordingPresenter() {
  if (m_installed) setMsgBoxPresenter(m_previous);
}

int RecordingPresenter::present(const QString& prompt, int style, const QString& title) {
  Box box{prompt, style, title};
  boxes.push_back(box);
  if (onShow) onShow(box);
  if (!m_answers.empty()) {
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
  }
  return (style & 7) == vbYesNo ? defaultYesNo : vbOK;
}

void RecordingPresenter::script(std::initializer_list<int> answers) {
  m_answers.insert(m_answers.end(), answers.begin(), answers.end());
}

}  // namespace test
