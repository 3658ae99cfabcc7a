// The window helpers every form shares: centring on the screen, the "Tag".
#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

#include "platform/ui/forms.h"

namespace {

TEST(Forms, CentringPutsTheWindowsMiddleOnTheScreensMiddle) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  // Shown or not, odd sizes and a window far off to one side all land centred.
  for (const bool shown : {false, true}) {
    SCOPED_TRACE(shown ? "shown" : "not shown");
    QWidget w;
    w.setFixedSize(301, 157);
    w.move(screen.right() - 10, screen.bottom() - 10);
    if (shown) w.show();
    forms::centreOnScreen(&w);
    EXPECT_LE(std::abs(w.frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(w.frameGeometry().center().y() - screen.center().y()), 1);
  }
}

TEST(Forms, TheTagIsEmptyUntilSetAndKeepsItsText) {
  QLabel label;
  EXPECT_EQ(forms::tag(&label), QString());
  forms::setTag(&label, QStringLiteral("mailto:support@kestrova.example"));
  EXPECT_EQ(forms::tag(&label), QStringLiteral("mailto:support@kestrova.example"));
  forms::setTag(&label, QString());
  EXPECT_EQ(forms::tag(&label), QString());
}

}  // namespace
