#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include <map>
#include <mutex>
#include <optional>
#include <variant>

namespace tandrel {

// One stored setting. The stored type matters: several rules treat a flag stored as a text
// differently from a real flag, so values keep the type they were written with. Dictionaries and
// arrays of any other content hold plain JSON; their readers check what is inside.
using DefaultsValue = std::variant<QString, qint64, double, bool, QDateTime, QStringList, QJsonObject, QJsonArray>;

// The user-defaults store: settings and remembered state, one JSON object per domain.
//
// The standard domain lives in "<folder>/defaults.json" and a named suite in
// "<folder>/<suite>.json", where the folder is $XDG_CONFIG_HOME/Tandrel (~/.config/Tandrel) unless
// a test points it elsewhere. Every change is written at once, atomically. A damaged file reads as
// empty and stays as it is until the next successful write replaces it.
//
// Each value is stored as {"type": "string"|"integer"|"double"|"bool"|"date"|"stringArray",
// "dictionary"|"array", "value": …}; dates as UTC ISO-8601 texts with milliseconds.
//
// Instances are process-wide (one per file) and safe to use from any thread. Setting a key to the
// value (and type) it already holds, or removing a key that is absent, changes nothing and writes
// nothing.
class UserDefaults : public QObject {
  Q_OBJECT

 public:
  static UserDefaults& standard();
  static UserDefaults& suite(const QString& name);
  // Forgets every value of a suite and deletes its file.
  static void removeSuite(const QString& name);

  // The folder that holds the files; an empty text goes back to the default folder.
  static QString directory();
  static void setDirectoryForTests(const QString& folder);
  // The folder setDirectoryForTests() gave; empty for the default folder.
  static QString directoryForTests();

  std::optional<DefaultsValue> object(const QString& key) const;
  bool contains(const QString& key) const { return object(key).has_value(); }

  // Conversions in the manner of the platform's defaults: a text for a text or a number; a flag
  // from a flag, a number (non-zero) or a text ("true", "yes" or a non-zero number); numbers from
  // numbers, flags and numeric texts. Absent or unconvertible values give nothing, false or 0.
  std::optional<QString> string(const QString& key) const;
  bool boolean(const QString& key) const;
  qint64 integer(const QString& key) const;
  double real(const QString& key) const;
  std::optional<QDateTime> date(const QString& key) const;
  // The value of `key` only when it is stored as a T (no conversion).
  template <typename T>
  std::optional<T> storedAs(const QString& key) const {
    const std::optional<DefaultsValue> value = object(key);
    if (value) {
      if (const T* typed = std::get_if<T>(&*value)) {
        return *typed;
      }
    }
    return std::nullopt;
  }

  // A list of texts, only when stored as one.
  std::optional<QStringList> stringArray(const QString& key) const;
  // A dictionary or an array, only when stored as one.
  std::optional<QJsonObject> dictionary(const QString& key) const;
  std::optional<QJsonArray> array(const QString& key) const;

  // One overload per stored type, so that a literal keeps the type it was written with.
  void set(const QString& key, const DefaultsValue& value) { store(key, value); }
  void set(const QString& key, const QString& text) { store(key, text); }
  void set(const QString& key, const char* text) { store(key, QString::fromUtf8(text)); }
  void set(const QString& key, int number) { store(key, static_cast<qint64>(number)); }
  void set(const QString& key, qint64 number) { store(key, number); }
  void set(const QString& key, double number) { store(key, number); }
  void set(const QString& key, bool flag) { store(key, flag); }
  void set(const QString& key, const QDateTime& date) { store(key, date); }
  void set(const QString& key, const QStringList& list) { store(key, list); }
  void set(const QString& key, const QJsonObject& dictionary) { store(key, dictionary); }
  void set(const QString& key, const QJsonArray& array) { store(key, array); }
  void remove(const QString& key);

  QStringList keys() const;
  QString filePath() const { return path_; }

  explicit UserDefaults(QString filePath);

 Q_SIGNALS:
  // A key was set to a different value or removed; emitted on the thread that changed it, after
  // the change is stored.
  void changed(const QString& key);

 private:
  void store(const QString& key, DefaultsValue value);
  void load();
  bool save();  // with mutex_ held

  QString path_;
  mutable std::mutex mutex_;
  std::map<QString, DefaultsValue> values_;
};

}  // namespace tandrel
