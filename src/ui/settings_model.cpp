#include "ui/settings_model.h"

#include "catalog/paths.h"
#include "catalog/tool_catalog.h"
#include "platform/user_defaults.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

namespace tandrel {
namespace {

using namespace settings_keys;

QString key(const char* name) { return QString::fromLatin1(name); }

// A flag or text only when stored as one; anything else counts as absent.
std::optional<bool> storedFlag(const UserDefaults& defaults, const char* name) {
  return defaults.storedAs<bool>(key(name));
}

std::optional<QString> storedText(const UserDefaults& defaults, const char* name) {
  return defaults.storedAs<QString>(key(name));
}

// A number stored as a number (either kind), finite.
std::optional<double> storedNumber(const UserDefaults& defaults, const char* name) {
  const std::optional<DefaultsValue> value = defaults.object(key(name));
  if (!value) {
    return std::nullopt;
  }
  std::optional<double> number;
  if (const double* real = std::get_if<double>(&*value)) {
    number = *real;
  } else if (const qint64* integer = std::get_if<qint64>(&*value)) {
    number = static_cast<double>(*integer);
  }
  if (number && !std::isfinite(*number)) {
    return std::nullopt;
  }
  return number;
}

QSet<QString> storedSet(const UserDefaults& defaults, const char* name) {
  const QStringList list = defaults.stringArray(key(name)).value_or(QStringList());
  return QSet<QString>(list.begin(), list.end());
}

QMap<QString, QString> storedToolModels(const UserDefaults& defaults) {
  QMap<QString, QString> models;
  const QJsonObject stored = defaults.dictionary(key(kToolModels)).value_or(QJsonObject());
  for (auto it = stored.begin(); it != stored.end(); ++it) {
    if (!it.value().isString()) {
      return {};
    }
    models.insert(it.key(), it.value().toString());
  }
  return models;
}

std::vector<ImportedSound> storedImportedSounds(const UserDefaults& defaults,
                                                const std::function<bool(const QString&)>& fileExists) {
  const QJsonArray stored = defaults.array(key(kImportedSounds)).value_or(QJsonArray());
  // Only an array of dictionaries of texts counts.
  for (const QJsonValue& entry : stored) {
    if (!entry.isObject()) {
      return {};
    }
    const QJsonObject dictionary = entry.toObject();
    if (!std::all_of(dictionary.begin(), dictionary.end(), [](const QJsonValue& v) { return v.isString(); })) {
      return {};
    }
  }
  std::vector<ImportedSound> sounds;
  for (const QJsonValue& entry : stored) {
    const QJsonValue path = entry.toObject().value(QStringLiteral("path"));
    if (path.isString() && fileExists(path.toString())) {
      sounds.push_back(ImportedSound{importedSoundID(path.toString()), path.toString(), std::nullopt, false});
    }
  }
  return sounds;
}

QStringList sortedList(const QSet<QString>& set) {
  QStringList list(set.begin(), set.end());
  list.sort();
  return list;
}

bool regularFileExists(const QString& path) { return QFileInfo(path).isFile(); }

}  // namespace

double clampedFloatingPetScale(double scale) {
  return std::max(std::min(scale, kMaximumFloatingPetScale), kMinimumFloatingPetScale);
}

QString importedSoundID(const QString& path) {
  // A name-based UUID in a namespace of our own: the same path always gives the same id.
  static const QUuid kNamespace(QStringLiteral("{5b0c2f5e-8d3a-4c55-9a57-7a6f1f3e2d41}"));
  return QUuid::createUuidV5(kNamespace, path).toString(QUuid::WithoutBraces).toUpper();
}

const QStringList& settingsKeys() {
  static const QStringList keys{
      key(kSelectedPetID),        key(kShowCapsuleMode),       key(kShowInDockMode),
      key(kDesktopCompanionMode), key(kCompanionDisplayMode),  key(kDesktopCompanionPetState),
      key(kFloatingPetScale),     key(kReduceMotion),          key(kHighContrast),
      key(kMuted),                key(kSelectedSoundID),       key(kDeletedDefaultPetIDs),
      key(kCodexPetsDirectoryAuthorized), key(kDidRequestCodexPetsDirectoryAuthorization),
      key(kDisabledToolIDs),      key(kToolModels),            key(kImportedSounds),
      key(kHoldFinishedTurns),
  };
  return keys;
}

const QStringList& toolModelFillList() {
  static const QStringList ids{
      QStringLiteral("claude"),   QStringLiteral("codex"),    QStringLiteral("codex-app"),
      QStringLiteral("factory-droid"), QStringLiteral("gemini"), QStringLiteral("opencode"),
      QStringLiteral("cursor"),   QStringLiteral("copilot"),  QStringLiteral("warp"),
      QStringLiteral("windsurf"),
  };
  return ids;
}

UserSettings testEnvironmentSettings(const UserSettings& current) {
  UserSettings settings;
  settings.previewState = current.previewState;
  settings.reduceMotion = true;
  settings.codexPetsDirectoryAuthorized = qgetenv("TANDREL_TEST_CODEX_PETS_AUTHORIZED") == "1";
  settings.didRequestCodexPetsDirectoryAuthorization = true;
  for (const char* id : {"claude", "codex", "cursor", "kimi"}) {
    settings.toolModels.insert(QString::fromLatin1(id), defaultModel(QString::fromLatin1(id)));
  }
  return settings;
}

UserSettings loadUserSettings(const UserDefaults& defaults, const UserSettings& current,
                              const std::function<bool(const QString& path)>& fileExists) {
  UserSettings s = current;
  s.selectedPetID = storedText(defaults, kSelectedPetID).value_or(QString::fromLatin1(kDefaultPetID));
  s.showCapsuleMode = storedFlag(defaults, kShowCapsuleMode).value_or(s.showCapsuleMode);
  s.showInDockMode = storedFlag(defaults, kShowInDockMode).value_or(s.showInDockMode);
  s.desktopCompanionMode = storedFlag(defaults, kDesktopCompanionMode).value_or(s.desktopCompanionMode);
  if (const auto raw = storedText(defaults, kCompanionDisplayMode)) {
    s.companionDisplayMode = parseCompanionDisplayMode(*raw).value_or(s.companionDisplayMode);
  }
  if (const auto raw = storedText(defaults, kDesktopCompanionPetState)) {
    s.previewState = parsePetPreviewStateID(*raw).value_or(s.previewState);
  }
  if (const auto scale = storedNumber(defaults, kFloatingPetScale)) {
    s.floatingPetScale = clampedFloatingPetScale(*scale);
  }
  s.reduceMotion = storedFlag(defaults, kReduceMotion).value_or(s.reduceMotion);
  s.highContrast = storedFlag(defaults, kHighContrast).value_or(s.highContrast);
  s.muted = storedFlag(defaults, kMuted).value_or(s.muted);
  s.selectedSoundID = storedText(defaults, kSelectedSoundID).value_or(QString::fromLatin1(kDefaultSoundID));
  s.deletedDefaultPetIDs = storedSet(defaults, kDeletedDefaultPetIDs);
  s.codexPetsDirectoryAuthorized = storedFlag(defaults, kCodexPetsDirectoryAuthorized).value_or(false);
  s.didRequestCodexPetsDirectoryAuthorization =
      storedFlag(defaults, kDidRequestCodexPetsDirectoryAuthorization).value_or(false);
  s.disabledToolIDs = storedSet(defaults, kDisabledToolIDs);
  s.toolModels = storedToolModels(defaults);
  for (const QString& id : toolModelFillList()) {
    if (!s.toolModels.contains(id)) {
      s.toolModels.insert(id, defaultModel(id));
    }
  }
  s.importedSounds = storedImportedSounds(defaults, fileExists);
  s.holdFinishedTurns = storedFlag(defaults, kHoldFinishedTurns).value_or(s.holdFinishedTurns);
  return s;
}

void saveUserSettings(const UserSettings& s, UserDefaults& defaults) {
  defaults.set(key(kSelectedPetID), s.selectedPetID);
  defaults.set(key(kShowCapsuleMode), s.showCapsuleMode);
  defaults.set(key(kShowInDockMode), s.showInDockMode);
  defaults.set(key(kDesktopCompanionMode), s.desktopCompanionMode);
  defaults.set(key(kCompanionDisplayMode), rawValue(s.companionDisplayMode));
  defaults.set(key(kDesktopCompanionPetState), rawValue(s.previewState));
  defaults.set(key(kFloatingPetScale), s.floatingPetScale);
  defaults.set(key(kReduceMotion), s.reduceMotion);
  defaults.set(key(kHighContrast), s.highContrast);
  defaults.set(key(kMuted), s.muted);
  defaults.set(key(kSelectedSoundID), s.selectedSoundID);
  defaults.set(key(kDeletedDefaultPetIDs), sortedList(s.deletedDefaultPetIDs));
  defaults.set(key(kCodexPetsDirectoryAuthorized), s.codexPetsDirectoryAuthorized);
  defaults.set(key(kDidRequestCodexPetsDirectoryAuthorization), s.didRequestCodexPetsDirectoryAuthorization);
  defaults.set(key(kDisabledToolIDs), sortedList(s.disabledToolIDs));
  QJsonObject models;
  for (auto it = s.toolModels.begin(); it != s.toolModels.end(); ++it) {
    models.insert(it.key(), it.value());
  }
  defaults.set(key(kToolModels), models);
  QJsonArray sounds;
  for (const ImportedSound& sound : s.importedSounds) {
    if (!sound.id.startsWith(QLatin1String("cli:"))) {
      sounds.append(QJsonObject{{QStringLiteral("path"), sound.path}});
    }
  }
  defaults.set(key(kImportedSounds), sounds);
  defaults.set(key(kHoldFinishedTurns), s.holdFinishedTurns);
}

SettingsModel& SettingsModel::shared() {
  // One model per standard defaults file (a test that moves the folder gets a fresh one). The
  // defaults are made first, so that the models, made after them, go first at exit.
  UserDefaults& defaults = UserDefaults::standard();
  static std::mutex mutex;
  static std::map<UserDefaults*, std::unique_ptr<SettingsModel>> models;
  std::lock_guard lock(mutex);
  auto& slot = models[&defaults];
  if (!slot) {
    slot = std::make_unique<SettingsModel>(defaults);
  }
  return *slot;
}

SettingsModel::SettingsModel(UserDefaults& defaults, QObject* parent)
    : QObject(parent), fileExists(regularFileExists), defaults_(defaults) {
  connect(&defaults_, &UserDefaults::changed, this, &SettingsModel::defaultsChanged);
  load();
}

void SettingsModel::load() {
  values_ = isTestEnvironment() ? testEnvironmentSettings(values_) : loadUserSettings(defaults_, values_, fileExists);
  Q_EMIT loaded();
  Q_EMIT changed();
}

void SettingsModel::change(const std::function<void(UserSettings&)>& edit, bool persist) {
  edit(values_);
  if (persist) {
    save();
  }
  Q_EMIT changed();
}

void SettingsModel::save() {
  if (isTestEnvironment()) {
    return;
  }
  writing_ = true;
  saveUserSettings(values_, defaults_);
  writing_ = false;
}

void SettingsModel::setFloatingPetScale(double scale) {
  change([scale](UserSettings& s) { s.floatingPetScale = clampedFloatingPetScale(scale); });
}

void SettingsModel::defaultsChanged(const QString& changedKey) {
  if (writing_ || isTestEnvironment() || !settingsKeys().contains(changedKey)) {
    return;
  }
  load();
}

}  // namespace tandrel
