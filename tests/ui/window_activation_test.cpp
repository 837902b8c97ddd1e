#include "ui/window_activation.h"

#include "support/log_capture.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

namespace tandrel {
namespace {

TEST(WindowActivationGui, OnlyAWindowThatTakesFocusIsAskedForIt) {
  QWidget island(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  QWidget panel(nullptr, Qt::Tool | Qt::FramelessWindowHint);
  QWidget keyboardTaken(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  for (QWidget* window : {&island, &panel, &keyboardTaken}) {
    window->resize(80, 40);
    window->show();
  }
  // The island's own way of taking the keyboard: the flag cleared on the native window only.
  keyboardTaken.windowHandle()->setFlag(Qt::WindowDoesNotAcceptFocus, false);

  EXPECT_FALSE(takesFocus(island));
  EXPECT_TRUE(takesFocus(panel));
  EXPECT_TRUE(takesFocus(keyboardTaken));

  test::LogCapture log;
  activateIfItTakesFocus(island);
  activateIfItTakesFocus(panel);
  EXPECT_TRUE(test::waitUntil([&] { return QApplication::activeWindow() == &panel; }));
  activateIfItTakesFocus(keyboardTaken);
  EXPECT_TRUE(test::waitUntil([&] { return QApplication::activeWindow() == &keyboardTaken; }));
  EXPECT_EQ(log.count(QStringLiteral("requestActivate")), 0) << log.lines().join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace tandrel
