#include "platform/user_defaults.h"

#include "base/canonical_json.h"
#include "base/log.h"
#include "platform/private_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>
#include <memory>

namespace tandrel {
namespace {

std::mutex registryMutex;
QString testDirectory;
// Keyed by file path, so a test that moves the folder gets fresh instances.
std::map<QString, std::unique_ptr<UserDefaults>>& registry() {
  static std::map<QString, std::unique_ptr<UserDefaults>> instances;
  return instances;
}

UserDefaults& instanceFor(const QString& fileName) {
  const QString path = UserDefaults::directory() + QLatin1Char('/') + fileName;
  std::lock_guard lock(registryMutex);
  auto& slot = registry()[path];
  if (!slot) {
    slot = std::make_unique<UserDefaults>(path);
  }
  return *slot;
}

QString dateText(const QDateTime& date) {
  return date.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject encode(const DefaultsValue& value) {
  QJsonObject entry;
  std::visit(
      [&entry](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, QString>) {
          entry[QStringLiteral("type")] = QStringLiteral("string");
          entry[QStringLiteral("value")] = v;
        } else if constexpr (std::is_same_v<T, qint64>) {
          entry[QStringLiteral("type")] = QStringLiteral("integer");
          entry[QStringLiteral("value")] = v;
        } else if constexpr (std::is_same_v<T, double>) {
          entry[QStringLiteral("type")] = QStringLiteral("double");
          entry[QStringLiteral("value")] = v;
        } else if constexpr (std::is_same_v<T, bool>) {
          entry[QStringLiteral("type")] = QStringLiteral("bool");
          entry[QStringLiteral("value")] = v;
        } else if constexpr (std::is_same_v<T, QDateTime>) {
          entry[QStringLiteral("type")] = QStringLiteral("date");
          entry[QStringLiteral("value")] = dateText(v);
        } else if constexpr (std::is_same_v<T, QStringList>) {
          entry[QStringLiteral("type")] = QStringLiteral("stringArray");
          entry[QStringLiteral("value")] = QJsonArray::fromStringList(v);
        } else if constexpr (std::is_same_v<T, QJsonObject>) {
          entry[QStringLiteral("type")] = QStringLiteral("dictionary");
          entry[QStringLiteral("value")] = v;
        } else {
          entry[QStringLiteral("type")] = QStringLiteral("array");
          entry[QStringLiteral("value")] = v;
        }
      },
      value);
  return entry;
}

std::optional<DefaultsValue> decode(const QJsonValue& stored) {
  const QJsonObject entry = stored.toObject();
  const QString type = entry.value(QStringLiteral("type")).toString();
  const QJsonValue value = entry.value(QStringLiteral("value"));
  if (type == QLatin1String("string") && value.isString()) {
    return value.toString();
  }
  if (type == QLatin1String("integer") && value.isDouble()) {
    return static_cast<qint64>(value.toInteger());
  }
  if (type == QLatin1String("double") && value.isDouble()) {
    return value.toDouble();
  }
  if (type == QLatin1String("bool") && value.isBool()) {
    return value.toBool();
  }
  if (type == QLatin1String("date") && value.isString()) {
    const QDateTime date = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (date.isValid()) {
      return date.toUTC();
    }
    return std::nullopt;
  }
  if (type == QLatin1String("stringArray") && value.isArray()) {
    QStringList list;
    for (const QJsonValue& element : value.toArray()) {
      if (!element.isString()) {
        return std::nullopt;
      }
      list.append(element.toString());
    }
    return list;
  }
  if (type == QLatin1String("dictionary") && value.isObject()) {
    return value.toObject();
  }
  if (type == QLatin1String("array") && value.isArray()) {
    return value.toArray();
  }
  return std::nullopt;
}

std::optional<double> numberFromText(const QString& text) {
  bool ok = false;
  const double number = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(number)) {
    return std::nullopt;
  }
  return number;
}

}  // namespace

UserDefaults& UserDefaults::standard() { return instanceFor(QStringLiteral("defaults.json")); }

UserDefaults& UserDefaults::suite(const QString& name) {
  return instanceFor(name + QStringLiteral(".json"));
}

void UserDefaults::removeSuite(const QString& name) {
  UserDefaults& defaults = suite(name);
  QStringList removed;
  {
    std::lock_guard lock(defaults.mutex_);
    for (const auto& [key, value] : defaults.values_) {
      removed.append(key);
    }
    defaults.values_.clear();
    QFile::remove(defaults.path_);
  }
  for (const QString& key : removed) {
    Q_EMIT defaults.changed(key);
  }
}

QString UserDefaults::directory() {
  {
    std::lock_guard lock(registryMutex);
    if (!testDirectory.isEmpty()) {
      return testDirectory;
    }
  }
  QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (config.isEmpty() || !QDir::isAbsolutePath(config)) {
    config = QDir::homePath() + QStringLiteral("/.config");
  }
  return config + QStringLiteral("/Tandrel");
}

void UserDefaults::setDirectoryForTests(const QString& folder) {
  std::lock_guard lock(registryMutex);
  testDirectory = folder;
}

QString UserDefaults::directoryForTests() {
  std::lock_guard lock(registryMutex);
  return testDirectory;
}

UserDefaults::UserDefaults(QString filePath) : path_(std::move(filePath)) { load(); }

void UserDefaults::load() {
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) {
    return;
  }
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) {
    // The next write replaces the file: keep its bytes beside it for the user to mend by hand.
    const QString kept = path_ + QStringLiteral(".damaged");
    QFile::remove(kept);
    if (file.copy(kept)) {
      logWarning(QStringLiteral("settings file %1 is damaged; reading it as empty (a copy is kept in %2)")
                     .arg(path_, kept));
    } else {
      logWarning(QStringLiteral("settings file %1 is damaged; reading it as empty (no copy could be kept: %2)")
                     .arg(path_, file.errorString()));
    }
    return;
  }
  const QJsonObject root = document.object();
  for (auto it = root.begin(); it != root.end(); ++it) {
    if (auto value = decode(it.value())) {
      values_.emplace(it.key(), std::move(*value));
    }
  }
}

bool UserDefaults::save() {
  QJsonObject root;
  for (const auto& [key, value] : values_) {
    root[key] = encode(value);
  }
  (void)makePrivateFolder(QFileInfo(path_).absolutePath());
  QSaveFile file(path_);
  if (!file.open(QIODevice::WriteOnly)) {
    logWarning(QStringLiteral("cannot write settings file %1: %2").arg(path_, file.errorString()));
    return false;
  }
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  file.write(canonicalJsonLine(root));
  if (!file.commit()) {
    logWarning(QStringLiteral("cannot write settings file %1: %2").arg(path_, file.errorString()));
    return false;
  }
  return true;
}

std::optional<DefaultsValue> UserDefaults::object(const QString& key) const {
  std::lock_guard lock(mutex_);
  const auto it = values_.find(key);
  if (it == values_.end()) {
    return std::nullopt;
  }
  return it->second;
}

std::optional<QString> UserDefaults::string(const QString& key) const {
  const auto value = object(key);
  if (!value) {
    return std::nullopt;
  }
  if (const auto* text = std::get_if<QString>(&*value)) {
    return *text;
  }
  if (const auto* number = std::get_if<qint64>(&*value)) {
    return QString::number(*number);
  }
  if (const auto* number = std::get_if<double>(&*value)) {
    return QString::number(*number, 'g', 17);
  }
  return std::nullopt;
}

bool UserDefaults::boolean(const QString& key) const {
  const auto value = object(key);
  if (!value) {
    return false;
  }
  if (const auto* flag = std::get_if<bool>(&*value)) {
    return *flag;
  }
  if (const auto* number = std::get_if<qint64>(&*value)) {
    return *number != 0;
  }
  if (const auto* number = std::get_if<double>(&*value)) {
    return *number != 0.0;
  }
  if (const auto* text = std::get_if<QString>(&*value)) {
    const QString lowered = text->trimmed().toLower();
    if (lowered == QLatin1String("true") || lowered == QLatin1String("yes")) {
      return true;
    }
    const auto number = numberFromText(lowered);
    return number && *number != 0.0;
  }
  return false;
}

qint64 UserDefaults::integer(const QString& key) const {
  const auto value = object(key);
  if (!value) {
    return 0;
  }
  if (const auto* number = std::get_if<qint64>(&*value)) {
    return *number;
  }
  const double number = real(key);
  // Out-of-range values would make the conversion undefined.
  if (number >= 9.2e18 || number <= -9.2e18) {
    return 0;
  }
  return static_cast<qint64>(number);
}

double UserDefaults::real(const QString& key) const {
  const auto value = object(key);
  if (!value) {
    return 0.0;
  }
  if (const auto* number = std::get_if<double>(&*value)) {
    return *number;
  }
  if (const auto* number = std::get_if<qint64>(&*value)) {
    return static_cast<double>(*number);
  }
  if (const auto* flag = std::get_if<bool>(&*value)) {
    return *flag ? 1.0 : 0.0;
  }
  if (const auto* text = std::get_if<QString>(&*value)) {
    return numberFromText(*text).value_or(0.0);
  }
  return 0.0;
}

std::optional<QDateTime> UserDefaults::date(const QString& key) const { return storedAs<QDateTime>(key); }

std::optional<QStringList> UserDefaults::stringArray(const QString& key) const { return storedAs<QStringList>(key); }

std::optional<QJsonObject> UserDefaults::dictionary(const QString& key) const { return storedAs<QJsonObject>(key); }

std::optional<QJsonArray> UserDefaults::array(const QString& key) const { return storedAs<QJsonArray>(key); }

void UserDefaults::store(const QString& key, DefaultsValue value) {
  if (auto* date = std::get_if<QDateTime>(&value)) {
    *date = date->toUTC();
  }
  {
    std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it != values_.end() && it->second == value) {
      return;
    }
    values_[key] = std::move(value);
    save();
  }
  Q_EMIT changed(key);
}

void UserDefaults::remove(const QString& key) {
  {
    std::lock_guard lock(mutex_);
    if (values_.erase(key) == 0) {
      return;
    }
    save();
  }
  Q_EMIT changed(key);
}

QStringList UserDefaults::keys() const {
  std::lock_guard lock(mutex_);
  QStringList list;
  for (const auto& [key, value] : values_) {
    list.append(key);
  }
  return list;
}

}  // namespace tandrel
