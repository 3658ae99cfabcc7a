// What reaches the presenter: text, style and the title rule.
#include <gtest/gtest.h>

#include "platform/core/app.h"
#include "platform/ui/msgbox.h"
#include "support/recording_presenter.h"

namespace {

TEST(MsgBox, EmptyTitleBecomesTheApplicationTitle) {
  test::RecordingPresenter rec(true);
  EXPECT_EQ(MsgBox(QStringLiteral("a\rb"), vbExclamation), vbOK);
  EXPECT_EQ(MsgBox(QStringLiteral("c"), vbOKOnly, QStringLiteral("Own")), vbOK);
  ASSERT_EQ(rec.boxes.size(), 2u);
  EXPECT_EQ(rec.boxes[0].prompt, QStringLiteral("a\rb"));
  EXPECT_EQ(rec.boxes[0].style, 48);
  EXPECT_EQ(rec.boxes[0].title, QStringLiteral("Purge Database"));
  EXPECT_EQ(rec.boxes[1].title, QStringLiteral("Own"));
}

TEST(MsgBox, ScriptedAnswersComeInOrderThenTheDefaults) {
  test::RecordingPresenter rec(true);
  rec.script({vbYes});
  EXPECT_EQ(MsgBox(QStringLiteral("q"), vbQuestion + vbYesNo), vbYes);
  EXPECT_EQ(MsgBox(QStringLiteral("q"), vbQuestion + vbYesNo), vbNo);
  EXPECT_EQ(MsgBox(QStringLiteral("i"), vbInformation), vbOK);
}

TEST(AppIdentity, BuildValues) {
  EXPECT_EQ(app::title(), QStringLiteral("Purge Database"));
  EXPECT_EQ(app::versionText(), QStringLiteral("1.0.1"));
  EXPECT_FALSE(app::folder().endsWith(QLatin1Char('/')));
}

}  // namespace
