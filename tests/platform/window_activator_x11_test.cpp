// Window activation against a real X server and window manager (the x11 label): two xmessage
// windows, the first brought to the front by its id, by a descendant of its process and by its
// class.

#include "platform/window_activator.h"

#include "support/wait.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include <csignal>
#include <unistd.h>

namespace tandrel {
namespace {

QString run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(5000);
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

struct Window {
  QProcess process;
  quint64 id = 0;

  // Owned by `owner` (the xmessage process itself when 0).
  explicit Window(const QString& name, qint64 owner = 0) {
    process.start(QStringLiteral("xmessage"), {QStringLiteral("-name"), name, name});
    if (!process.waitForStarted()) return;
    id = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--classname"), name})
             .section(QLatin1Char('\n'), 0, 0)
             .toULongLong();
    // xmessage does not say which process owns it; the window manager's clients normally do.
    run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(id), QStringLiteral("-f"), QStringLiteral("_NET_WM_PID"),
                                  QStringLiteral("32c"), QStringLiteral("-set"), QStringLiteral("_NET_WM_PID"),
                                  QString::number(owner != 0 ? owner : process.processId())});
  }
  ~Window() {
    process.kill();
    process.waitForFinished(3000);
  }
};

quint64 activeWindow() { return run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).toULongLong(); }

TEST(WindowActivatorX11, BringsAWindowForwardByIdOwnerOrClass) {
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY"));
  // The first window belongs to this test process, as a terminal's window belongs to the terminal.
  Window first(QStringLiteral("tandrel-first"), QCoreApplication::applicationPid());
  Window second(QStringLiteral("tandrel-second"));
  ASSERT_NE(first.id, 0u);
  ASSERT_NE(second.id, 0u);
  const WindowActivator& activator = WindowActivator::system();

  ASSERT_TRUE(test::waitUntil([&] { return activator.activateWindow(second.id).ok() && activeWindow() == second.id; }));
  EXPECT_TRUE(activator.activateWindow(first.id).ok());
  EXPECT_TRUE(test::waitUntil([&] { return activeWindow() == first.id; }));

  // A grandchild of the window's owner (as an agent runs in the shell of its terminal) finds it.
  QProcess shell;
  shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 30 & echo $!; wait")});
  ASSERT_TRUE(shell.waitForReadyRead(5000));
  const qint64 agent = shell.readLine().trimmed().toLongLong();
  EXPECT_EQ(parentProcessID(agent), shell.processId());
  ASSERT_TRUE(activator.activateWindow(second.id).ok());
  ASSERT_TRUE(test::waitUntil([&] { return activeWindow() == second.id; }));
  EXPECT_TRUE(activator.activateWindowOfProcess(agent).ok());
  EXPECT_TRUE(test::waitUntil([&] { return activeWindow() == first.id; }));
  shell.kill();
  shell.waitForFinished(3000);
  ::kill(static_cast<pid_t>(agent), SIGKILL);

  EXPECT_TRUE(activator.activateWindowOfClass({QStringLiteral("TANDREL-SECOND")}).ok());
  EXPECT_TRUE(test::waitUntil([&] { return activeWindow() == second.id; }));

  EXPECT_FALSE(activator.activateWindow(1).ok());
  EXPECT_FALSE(activator.activateWindowOfClass({QStringLiteral("no-such-class")}).ok());
  EXPECT_FALSE(activator.activateWindowOfProcess(1).ok());
}

}  // namespace
}  // namespace tandrel
