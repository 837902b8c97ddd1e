// What every libFuzzer program shares: the Qt application object, a scratch home, quiet logs,
// and a failed property that stops the run with the input (libFuzzer saves it as crash-…).
#include "fuzz_target.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace tandrel::fuzz {

void checkFailed(const char* expression, const char* file, int line, const QString& detail) {
  std::fprintf(stderr, "property failed at %s:%d: %s\n%s\n", file, line, expression,
               detail.toLocal8Bit().constData());
  std::abort();
}

QString scratchFolder() {
  static QTemporaryDir folder;
  return folder.path();
}

}  // namespace tandrel::fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static int qtArgc = 1;
  static char* qtArgv[] = {(*argv)[0], nullptr};
  (void)argc;
  static QCoreApplication app(qtArgc, qtArgv);
  // Nothing a target runs may reach the user's own files or session.
  const QByteArray home = QFile::encodeName(tandrel::fuzz::scratchFolder());
  for (const char* name : {"HOME", "TANDREL_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                           "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
    qputenv(name, home);
  }
  qputenv("TANDREL_EVENT_FILE", home + "/events.jsonl");
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/fuzzing-has-no-session-bus");
  // The parsers log what they refuse; at thousands of inputs a second that is only noise.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  return 0;
}
