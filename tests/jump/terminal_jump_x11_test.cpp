// Jumps into terminals against a real X server and window manager (the x11 label), each terminal
// behind another window: a tmux pane (its window not the current one) on the agent's own server,
// shown by an xterm; and a kitty window, reached by kitty's remote control or, without it, as the
// window of the agent's process.

#include "jump/jump_openers.h"

#include "support/temp_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <memory>

namespace tandrel {
namespace {

QString run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(10000);
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

quint64 activeWindow() { return run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).toULongLong(); }

// An xterm titled `title` running `command` (a shell when empty), and its window.
struct Xterm {
  QProcess process;
  quint64 window = 0;

  Xterm(const QString& title, const QStringList& command) {
    QStringList arguments{QStringLiteral("-title"), title};
    if (!command.isEmpty()) {
      arguments << QStringLiteral("-e") << command;
    }
    process.start(QStringLiteral("xterm"), arguments);
    if (!process.waitForStarted()) return;
    test::waitUntil([&] {
      window = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^") + title + QStringLiteral("$")})
                   .section(QLatin1Char('\n'), 0, 0)
                   .toULongLong();
      return window != 0;
    }, 10000);
  }
  ~Xterm() {
    process.kill();
    process.waitForFinished(3000);
  }
};

TEST(TerminalJumpX11, ATmuxPaneComesForwardInTheXtermThatShowsIt) {
  for (const char* program : {"xterm", "tmux", "xdotool"}) {
    if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
      GTEST_SKIP() << "needs " << program;
    }
  }
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY"));
  struct Case {
    const char* name;
    bool ownSocket;  // "tmux -S <path>", else the default server (of a private TMUX_TMPDIR)
  };
  for (const Case& c : {Case{"a server of its own", true}, Case{"the default server", false}}) {
    SCOPED_TRACE(c.name);
    test::TempHome home;
    home.setEnv("TMUX_TMPDIR", QFile::encodeName(home.path()));
    home.setEnv("TMUX", std::nullopt);
    const QString socket = home.file(QStringLiteral("work.sock"));
    const QStringList server = c.ownSocket ? QStringList{QStringLiteral("-S"), socket} : QStringList();
    const auto tmux = [&server](const QStringList& arguments) { return run(QStringLiteral("tmux"), server + arguments); };

    // The agent's pane is in window 0; window 1 is the current one.
    tmux({QStringLiteral("-f"), QStringLiteral("/dev/null"), QStringLiteral("new-session"), QStringLiteral("-d"),
          QStringLiteral("-s"), QStringLiteral("work"), QStringLiteral("-x"), QStringLiteral("80"), QStringLiteral("-y"),
          QStringLiteral("24")});
    const QString pane = tmux({QStringLiteral("display-message"), QStringLiteral("-p"), QStringLiteral("-t"),
                               QStringLiteral("work:0"), QStringLiteral("#{pane_id}")});
    ASSERT_TRUE(pane.startsWith(QLatin1Char('%'))) << "tmux did not start";
    tmux({QStringLiteral("new-window"), QStringLiteral("-t"), QStringLiteral("work")});
    const auto currentPane = [&] {
      return tmux({QStringLiteral("display-message"), QStringLiteral("-p"), QStringLiteral("-t"), QStringLiteral("work"),
                   QStringLiteral("#{pane_id}")});
    };
    ASSERT_NE(currentPane(), pane);

    {
      Xterm attached(QStringLiteral("tandrel-attached"),
                     QStringList{QStringLiteral("tmux")} + server + QStringList{QStringLiteral("attach"), QStringLiteral("-t"), QStringLiteral("work")});
      Xterm other(QStringLiteral("tandrel-other"), {});
      ASSERT_NE(attached.window, 0u);
      ASSERT_NE(other.window, 0u);
      ASSERT_TRUE(test::waitUntil([&] { return !tmux({QStringLiteral("list-clients")}).isEmpty(); }, 10000));
      run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QString::number(other.window)});
      ASSERT_TRUE(test::waitUntil([&] { return activeWindow() == other.window; }));

      EXPECT_TRUE(JumpOpeners::focusTerminalWindow(QStringLiteral("tmux"), std::nullopt, std::nullopt, pane, home.path(),
                                                   c.ownSocket ? std::optional<QString>(socket) : std::nullopt))
          << JumpOpeners::lastJumpOpenError().value_or(QString()).toStdString();
      EXPECT_EQ(currentPane(), pane);
      EXPECT_TRUE(test::waitUntil([&] { return activeWindow() == attached.window; }));
    }
    tmux({QStringLiteral("kill-server")});
  }
}

TEST(TerminalJumpX11, AKittyWindowComesForwardWithOrWithoutRemoteControl) {
  for (const char* program : {"kitty", "xterm", "xdotool"}) {
    if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
      GTEST_SKIP() << "needs " << program;
    }
  }
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY"));
  for (const bool remoteControl : {true, false}) {
    SCOPED_TRACE(remoteControl ? "with remote control" : "without remote control");
    test::TempHome home;
    const QString socket = QStringLiteral("unix:") + home.file(QStringLiteral("kitty.sock"));
    const QString agentFile = home.file(QStringLiteral("agent.pid"));
    // The agent runs in kitty's window 1 and writes its process id.
    QStringList arguments{QStringLiteral("--config"), QStringLiteral("NONE"), QStringLiteral("--title"),
                          QStringLiteral("tandrel-kitty"), QStringLiteral("-o"),
                          QStringLiteral("allow_remote_control=") + (remoteControl ? QStringLiteral("yes") : QStringLiteral("no"))};
    if (remoteControl) {
      arguments << QStringLiteral("--listen-on") << socket;
    }
    arguments << QStringLiteral("sh") << QStringLiteral("-c") << QStringLiteral("echo $$ > '%1'; exec sleep 60").arg(agentFile);
    QProcess kitty;
    kitty.start(QStringLiteral("kitty"), arguments);
    ASSERT_TRUE(kitty.waitForStarted());
    quint64 window = 0;
    ASSERT_TRUE(test::waitUntil([&] {
      window = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^tandrel-kitty$")})
                   .section(QLatin1Char('\n'), 0, 0)
                   .toULongLong();
      return window != 0 && !test::readFile(agentFile).trimmed().isEmpty();
    }, 15000)) << "kitty did not open a window";
    const QString agent = QString::fromUtf8(test::readFile(agentFile).trimmed());

    Xterm other(QStringLiteral("tandrel-other"), {});
    ASSERT_NE(other.window, 0u);
    run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QString::number(other.window)});
    ASSERT_TRUE(test::waitUntil([&] { return activeWindow() == other.window; }));

    EXPECT_TRUE(JumpOpeners::focusTerminalWindow(QStringLiteral("kitty"), QStringLiteral("1"), std::nullopt, std::nullopt,
                                                 home.path(), remoteControl ? std::optional<QString>(socket) : std::nullopt, agent))
        << JumpOpeners::lastJumpOpenError().value_or(QString()).toStdString();
    EXPECT_TRUE(test::waitUntil([&] { return activeWindow() == window; }));
    kitty.kill();
    kitty.waitForFinished(3000);
  }
}

}  // namespace
}  // namespace tandrel
