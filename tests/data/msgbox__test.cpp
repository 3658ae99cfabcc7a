// The assembled texts, styles and titles of the standard messages.
#include <gtest/gtest.h>

#include "data/msgbox_.h"
#include "support/recording_presenter.h"

namespace {

struct Case {
  QString desc, header, title;
  QString prompt, shownTitle;
};

TEST(StandardMessages, ProcessFailedHeaderAndTitleDefaults) {
  const QString cr = QStringLiteral("\r");
  const std::vector<Case> cases = {
      {"disk full", "", "", "Process has failed !" + cr + cr + "The following error has occurred:" + cr + "disk full",
       "Process has failed !"},
      {"", "Failed to purge Manifest table...", "",
       "Failed to purge Manifest table..." + cr + cr + "The following error has occurred:" + cr,
       "Process has failed !"},
      {"x", "H", "Own title", "H" + cr + cr + "The following error has occurred:" + cr + "x", "Own title"},
  };
  for (const Case& c : cases) {
    test::RecordingPresenter rec(true);
    ShowProcessFailed(c.desc, c.header, c.title);
    ASSERT_EQ(rec.boxes.size(), 1u);
    EXPECT_EQ(rec.boxes[0].prompt, c.prompt);
    EXPECT_EQ(rec.boxes[0].style, 48);
    EXPECT_EQ(rec.boxes[0].title, c.shownTitle);
  }
}

TEST(StandardMessages, FinishedAndFailedCarryTheApplicationTitle) {
  test::RecordingPresenter rec(true);
  ShowFinished(QStringLiteral("Purge"));
  ShowFailed(QStringLiteral("Purge"));
  ShowFinished(QString());
  ShowFailed(QString());
  ASSERT_EQ(rec.boxes.size(), 4u);
  EXPECT_EQ(rec.boxes[0].prompt, QStringLiteral("Purge has been finished successfully !"));
  EXPECT_EQ(rec.boxes[0].style, 64);
  EXPECT_EQ(rec.boxes[1].prompt, QStringLiteral("Purge has failed to complete..."));
  EXPECT_EQ(rec.boxes[1].style, 16);
  EXPECT_EQ(rec.boxes[2].prompt, QStringLiteral(" has been finished successfully !"));
  EXPECT_EQ(rec.boxes[3].prompt, QStringLiteral(" has failed to complete..."));
  for (const auto& b : rec.boxes) EXPECT_EQ(b.title, QStringLiteral("Purge Database"));
}

}  // namespace
