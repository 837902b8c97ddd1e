#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <optional>
#include <vector>

namespace tandrel::test {

// A temporary home for one test: points HOME, TANDREL_HOME, the XDG folders and
// TANDREL_EVENT_FILE into a fresh folder, so that no test reads or writes the real home.
// The previous values come back when it goes out of scope. The folder is in the temporary folder,
// or in /tmp when that one's path is too long for the sockets tests put below their home.
class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  QString path() const { return dir_.path(); }
  // A path below the temporary folder.
  QString file(const QString& relative) const;

  // Sets (or, with std::nullopt, unsets) a variable for the rest of the test.
  void setEnv(const char* name, const std::optional<QByteArray>& value);

 private:
  QTemporaryDir dir_;
  std::map<QByteArray, std::optional<QByteArray>> saved_;
};

// Writes `contents` to `path`, creating parent folders; returns false on failure.
bool writeFile(const QString& path, const QByteArray& contents);
QByteArray readFile(const QString& path);
// The objects of a JSON-lines file (an audit log), in order; blank lines are skipped.
std::vector<QJsonObject> readJsonLines(const QString& path);

}  // namespace tandrel::test
