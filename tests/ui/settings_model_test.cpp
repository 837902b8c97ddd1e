#include "ui/settings_model.h"

#include "catalog/paths.h"
#include "catalog/tool_catalog.h"
#include "platform/user_defaults.h"
#include "support/temp_home.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>

namespace tandrel {
namespace {

class TestEnvironmentScope {
 public:
  explicit TestEnvironmentScope(bool on) : previous_(isTestEnvironment()) { setTestEnvironment(on); }
  ~TestEnvironmentScope() { setTestEnvironment(previous_); }

 private:
  bool previous_;
};

class SettingsModelTest : public ::testing::Test {
 protected:
  SettingsModelTest() { home.setEnv("TANDREL_TEST_CODEX_PETS_AUTHORIZED", std::nullopt); }

  test::TempHome home;
  TestEnvironmentScope liveSettings{false};
  UserDefaults defaults{home.file(QStringLiteral("defaults.json"))};
};

// Settings that differ from the defaults everywhere, so that a rule that keeps the current value
// can be told from one that goes back to the default.
UserSettings customized(const QString& soundPath) {
  UserSettings s;
  s.selectedPetID = QStringLiteral("fox");
  s.showCapsuleMode = false;
  s.showInDockMode = true;
  s.desktopCompanionMode = true;
  s.companionDisplayMode = CompanionDisplayMode::roaming;
  s.previewState = PetPreviewStateID::error;
  s.floatingPetScale = 1.2;
  s.reduceMotion = true;
  s.highContrast = true;
  s.muted = true;
  s.selectedSoundID = QStringLiteral("lumen-aria");
  s.deletedDefaultPetIDs = {QStringLiteral("old-pet")};
  s.codexPetsDirectoryAuthorized = true;
  s.didRequestCodexPetsDirectoryAuthorization = true;
  s.disabledToolIDs = {QStringLiteral("cursor")};
  s.toolModels = {{QStringLiteral("kimi"), QStringLiteral("K2")}};
  s.importedSounds = {ImportedSound{importedSoundID(soundPath), soundPath, std::nullopt, false}};
  s.holdFinishedTurns = true;
  return s;
}

QMap<QString, QString> filledModels(QMap<QString, QString> models) {
  for (const QString& id : toolModelFillList()) {
    if (!models.contains(id)) {
      models.insert(id, defaultModel(id));
    }
  }
  return models;
}

TEST_F(SettingsModelTest, EachKeyIsReadByItsRuleAndWrongTypesCountAsAbsent) {
  const QString sound = home.file(QStringLiteral("sounds/ping.wav"));
  ASSERT_TRUE(test::writeFile(sound, "RIFF"));
  const QString gone = home.file(QStringLiteral("sounds/gone.wav"));
  const UserSettings current = customized(sound);
  using Check = std::function<bool(const UserSettings&)>;
  const QJsonObject soundEntry{{QStringLiteral("path"), sound}};
  const struct {
    const char* key;
    std::optional<DefaultsValue> stored;  // none: absent
    Check check;
  } cases[] = {
      // Texts: absent or not a text gives the default.
      {"selectedPetID", std::nullopt, [](auto& s) { return s.selectedPetID == "capybara"; }},
      {"selectedPetID", DefaultsValue(qint64{7}), [](auto& s) { return s.selectedPetID == "capybara"; }},
      {"selectedPetID", DefaultsValue(QStringLiteral("owl")), [](auto& s) { return s.selectedPetID == "owl"; }},
      {"selectedSoundID", DefaultsValue(true), [](auto& s) { return s.selectedSoundID == "moonlight-sonata"; }},
      {"selectedSoundID", DefaultsValue(QStringLiteral("turkish-march")),
       [](auto& s) { return s.selectedSoundID == "turkish-march"; }},
      // Flags read if present: absent or a text keeps the current value.
      {"showCapsuleMode", std::nullopt, [](auto& s) { return !s.showCapsuleMode; }},
      {"showCapsuleMode", DefaultsValue(QStringLiteral("true")), [](auto& s) { return !s.showCapsuleMode; }},
      {"showCapsuleMode", DefaultsValue(true), [](auto& s) { return s.showCapsuleMode; }},
      {"showInDockMode", DefaultsValue(qint64{0}), [](auto& s) { return s.showInDockMode; }},
      {"showInDockMode", DefaultsValue(false), [](auto& s) { return !s.showInDockMode; }},
      {"desktopCompanionMode", DefaultsValue(false), [](auto& s) { return !s.desktopCompanionMode; }},
      {"reduceMotion", DefaultsValue(false), [](auto& s) { return !s.reduceMotion; }},
      {"highContrast", DefaultsValue(1.0), [](auto& s) { return s.highContrast; }},
      {"muted", DefaultsValue(false), [](auto& s) { return !s.muted; }},
      {"holdFinishedTurns", DefaultsValue(QStringLiteral("true")), [](auto& s) { return s.holdFinishedTurns; }},
      {"holdFinishedTurns", DefaultsValue(false), [](auto& s) { return !s.holdFinishedTurns; }},
      // Plain flag reads: false when absent or of another type.
      {"codexPetsDirectoryAuthorized", std::nullopt, [](auto& s) { return !s.codexPetsDirectoryAuthorized; }},
      {"codexPetsDirectoryAuthorized", DefaultsValue(QStringLiteral("yes")),
       [](auto& s) { return !s.codexPetsDirectoryAuthorized; }},
      {"didRequestCodexPetsDirectoryAuthorization", DefaultsValue(true),
       [](auto& s) { return s.didRequestCodexPetsDirectoryAuthorization; }},
      // Vocabularies: an unknown raw value keeps the current case.
      {"companionDisplayMode", DefaultsValue(QStringLiteral("hovering")),
       [](auto& s) { return s.companionDisplayMode == CompanionDisplayMode::roaming; }},
      {"companionDisplayMode", DefaultsValue(QStringLiteral("tucked")),
       [](auto& s) { return s.companionDisplayMode == CompanionDisplayMode::tucked; }},
      {"desktopCompanionPetState", DefaultsValue(QStringLiteral("Sleeping")),
       [](auto& s) { return s.previewState == PetPreviewStateID::error; }},
      {"desktopCompanionPetState", DefaultsValue(QStringLiteral("rateLimit")),
       [](auto& s) { return s.previewState == PetPreviewStateID::rateLimit; }},
      // The scale: pulled into 0.75...1.6; a text counts as absent.
      {"floatingPetScale", DefaultsValue(3.0), [](auto& s) { return s.floatingPetScale == 1.6; }},
      {"floatingPetScale", DefaultsValue(0.1), [](auto& s) { return s.floatingPetScale == 0.75; }},
      {"floatingPetScale", DefaultsValue(qint64{1}), [](auto& s) { return s.floatingPetScale == 1.0; }},
      {"floatingPetScale", DefaultsValue(QStringLiteral("1.4")), [](auto& s) { return s.floatingPetScale == 1.2; }},
      // Sets: absent or not a list of texts gives an empty set.
      {"deletedDefaultPetIDs", std::nullopt, [](auto& s) { return s.deletedDefaultPetIDs.isEmpty(); }},
      {"deletedDefaultPetIDs", DefaultsValue(QStringList{"a", "a", "b"}),
       [](auto& s) { return s.deletedDefaultPetIDs == QSet<QString>{"a", "b"}; }},
      {"disabledToolIDs", DefaultsValue(QJsonArray{1, 2}), [](auto& s) { return s.disabledToolIDs.isEmpty(); }},
      // Tool models: a non-text value empties the dictionary before the fill.
      {"toolModels", std::nullopt, [](auto& s) { return s.toolModels == filledModels({}); }},
      {"toolModels", DefaultsValue(QJsonObject{{"codex", "o3"}, {"kimi", 2}}),
       [](auto& s) { return s.toolModels == filledModels({}); }},
      {"toolModels", DefaultsValue(QJsonObject{{"codex", "o3"}, {"kimi", "K2"}}),
       [](auto& s) { return s.toolModels == filledModels({{"codex", "o3"}, {"kimi", "K2"}}); }},
      // Imported sounds: only an array of text dictionaries; gone files and entries without a
      // path are dropped.
      {"importedSounds", std::nullopt, [](auto& s) { return s.importedSounds.empty(); }},
      {"importedSounds", DefaultsValue(QJsonArray{soundEntry, QJsonObject{{"path", 3}}}),
       [](auto& s) { return s.importedSounds.empty(); }},
      {"importedSounds",
       DefaultsValue(QJsonArray{QJsonObject{{"path", gone}}, QJsonObject{{"name", "x"}}, soundEntry}),
       [sound](auto& s) {
         return s.importedSounds.size() == 1 && s.importedSounds[0].path == sound &&
                s.importedSounds[0].id == importedSoundID(sound) && !s.importedSounds[0].showAssign;
       }},
  };
  for (const auto& c : cases) {
    const QString key = QString::fromLatin1(c.key);
    SCOPED_TRACE(c.key);
    for (const QString& stored : defaults.keys()) {
      defaults.remove(stored);
    }
    if (c.stored) {
      defaults.set(key, *c.stored);
    }
    EXPECT_TRUE(c.check(loadUserSettings(defaults, current, [](const QString& path) { return QFile::exists(path); })));
  }
}

TEST_F(SettingsModelTest, ANewInstallationStartsFromTheDefaults) {
  SettingsModel model(defaults);
  const UserSettings& s = model.values();
  EXPECT_EQ(s.selectedPetID, "capybara");
  EXPECT_EQ(s.selectedSoundID, "moonlight-sonata");
  EXPECT_EQ(s.floatingPetScale, 1.0);
  EXPECT_TRUE(s.showCapsuleMode);
  EXPECT_FALSE(s.showInDockMode || s.desktopCompanionMode || s.reduceMotion || s.highContrast || s.muted);
  EXPECT_FALSE(s.holdFinishedTurns) << "an agent's finished turn is not held unless the user asks";
  EXPECT_EQ(s.companionDisplayMode, CompanionDisplayMode::bubble);
  EXPECT_EQ(s.toolModels.size(), 10);
  EXPECT_EQ(s.toolModels, filledModels({}));
  EXPECT_TRUE(defaults.keys().isEmpty());  // reading writes nothing
}

TEST_F(SettingsModelTest, SavingWritesEveryKeyInOrderAndLeavesSoundPackagesOut) {
  const QString sound = home.file(QStringLiteral("ping.wav"));
  ASSERT_TRUE(test::writeFile(sound, "RIFF"));
  SettingsModel model(defaults);
  QStringList written;
  QObject::connect(&defaults, &UserDefaults::changed, [&written](const QString& key) { written << key; });
  int loaded = 0;
  QObject::connect(&model, &SettingsModel::loaded, [&loaded] { ++loaded; });
  model.change([&sound](UserSettings& s) {
    s.importedSounds = {ImportedSound{QStringLiteral("cli:done-chime"), QStringLiteral("/x/audio.wav"), {}, true},
                        ImportedSound{importedSoundID(sound), sound, {}, false}};
  });
  EXPECT_EQ(written, settingsKeys());
  EXPECT_EQ(loaded, 0);  // its own writes are not read back
  EXPECT_EQ(defaults.array(QStringLiteral("importedSounds")), (QJsonArray{QJsonObject{{"path", sound}}}));
  EXPECT_EQ(defaults.string(QStringLiteral("desktopCompanionPetState")), "running");

  // A second save writes only what changed.
  written.clear();
  model.setFloatingPetScale(0.5);
  EXPECT_EQ(written, QStringList{"floatingPetScale"});
  EXPECT_EQ(defaults.real(QStringLiteral("floatingPetScale")), 0.75);
}

TEST_F(SettingsModelTest, ASelectedImportedFileKeepsItsIdAcrossLoads) {
  const QString sound = home.file(QStringLiteral("my sounds/ding.aiff"));
  ASSERT_TRUE(test::writeFile(sound, "FORM"));
  SettingsModel model(defaults);
  const QString id = importedSoundID(sound);
  model.change([&](UserSettings& s) {
    s.importedSounds = {ImportedSound{id, sound, {}, false}};
    s.selectedSoundID = id;
  });
  SettingsModel later(defaults);
  ASSERT_EQ(later.values().importedSounds.size(), 1u);
  EXPECT_EQ(later.values().importedSounds[0].id, id);
  EXPECT_EQ(later.values().selectedSoundID, id);
  EXPECT_NE(importedSoundID(home.file(QStringLiteral("my sounds/other.aiff"))), id);

  // Once the file has gone, the entry is dropped and the next save forgets it.
  ASSERT_TRUE(QFile::remove(sound));
  later.load();
  EXPECT_TRUE(later.values().importedSounds.empty());
  later.save();
  EXPECT_EQ(defaults.array(QStringLiteral("importedSounds")), QJsonArray());
}

TEST_F(SettingsModelTest, AKeyWrittenBySomeoneElseIsReadAgain) {
  SettingsModel model(defaults);
  int changed = 0;
  QObject::connect(&model, &SettingsModel::changed, [&changed] { ++changed; });
  // The companion's menu writes its keys straight into the defaults.
  defaults.set(QStringLiteral("desktopCompanionMode"), true);
  defaults.set(QStringLiteral("companionDisplayMode"), "floating");
  EXPECT_TRUE(model.values().desktopCompanionMode);
  EXPECT_EQ(model.values().companionDisplayMode, CompanionDisplayMode::floating);
  EXPECT_EQ(changed, 2);
  // Keys of others do not concern the model.
  defaults.set(QStringLiteral("displayPolicy"), "all");
  EXPECT_EQ(changed, 2);
}

TEST_F(SettingsModelTest, TheTestEnvironmentNeitherReadsNorWritesTheDefaults) {
  defaults.set(QStringLiteral("muted"), true);
  defaults.set(QStringLiteral("selectedPetID"), "owl");
  const struct {
    std::optional<QByteArray> authorized;
    bool granted;
  } cases[] = {{std::nullopt, false}, {QByteArray("true"), false}, {QByteArray("1"), true}};
  for (const auto& c : cases) {
    home.setEnv("TANDREL_TEST_CODEX_PETS_AUTHORIZED", c.authorized);
    TestEnvironmentScope testEnvironment(true);
    SettingsModel model(defaults);
    const UserSettings& s = model.values();
    EXPECT_FALSE(s.muted);
    EXPECT_EQ(s.selectedPetID, "capybara");
    EXPECT_TRUE(s.reduceMotion);
    EXPECT_TRUE(s.didRequestCodexPetsDirectoryAuthorization);
    EXPECT_EQ(s.codexPetsDirectoryAuthorized, c.granted);
    EXPECT_EQ(s.toolModels.keys(), (QStringList{"claude", "codex", "cursor", "kimi"}));
    EXPECT_EQ(s.toolModels.value("kimi"), defaultModel(QStringLiteral("kimi")));

    const QStringList before = defaults.keys();
    model.change([](UserSettings& v) { v.muted = true; });
    EXPECT_TRUE(model.values().muted);  // held in memory…
    EXPECT_EQ(defaults.keys(), before);  // …and not written
    EXPECT_EQ(defaults.string(QStringLiteral("selectedPetID")), "owl");
  }
}

}  // namespace
}  // namespace tandrel
