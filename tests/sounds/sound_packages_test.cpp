#include "sounds/sound_packages.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "support/temp_home.h"

namespace tandrel {
namespace {

bool link(const QString& target, const QString& path) {
  return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
}

QJsonObject jsonFile(const QString& path) { return QJsonDocument::fromJson(test::readFile(path)).object(); }

class SoundPackagesTest : public ::testing::Test {
 protected:
  QString tandrelHome() const { return home.file(".tandrel"); }
  QString sounds(const QString& relative = QString()) const {
    return home.file(".tandrel/sounds") + (relative.isEmpty() ? QString() : QLatin1Char('/') + relative);
  }
  // A package folder under the sounds folder with its manifest and audio file.
  void package(const QString& folder, const QByteArray& manifest, const QString& audio = QString()) {
    ASSERT_TRUE(test::writeFile(sounds(folder + "/sound.json"), manifest));
    if (!audio.isEmpty()) {
      ASSERT_TRUE(test::writeFile(sounds(folder + QLatin1Char('/') + audio), "audio"));
    }
  }

  test::TempHome home;
};

TEST(SoundPackageIDTest, SafeIDsAndIDsOfAudioFiles) {
  for (const char* id : {"done-chime", "a", "0.9_x-y"}) EXPECT_TRUE(isSafePackageID(id)) << id;
  for (const char* id : {"", "-lead", ".hidden", "Caps", "a/b", "a b", "ü"}) EXPECT_FALSE(isSafePackageID(id)) << id;

  const std::vector<std::pair<const char*, const char*>> files = {
      {"/x/Standalone Cue.ogg", "standalone-cue"}, {"/x/Été!!.mp3", "t"},   {"/x/...mp3", "sound"},
      {"/x/A__B--c.d.wav", "a-b-c-d"},              {"/x/-- Go! --.wav", "go"}, {"/x/!!!.wav", "sound"},
  };
  for (const auto& [file, id] : files) EXPECT_EQ(soundPackageID(QString::fromUtf8(file)), QString::fromUtf8(id)) << file;
}

TEST_F(SoundPackagesTest, ScanKeepsValidContainedPackagesOnceEachSortedByFileName) {
  package("done-chime", R"({"id":"done-chime","displayName":"Done Chime","audioPath":"done.mp3","defaultAssign":"Done"})",
          "done.mp3");
  package("folder-id", R"({"audioPath":" Beta.mp3 "})", "Beta.mp3");
  package("alpha", R"({"id":"alpha","audioPath":"sub/alpha.WAV"})", "sub/alpha.WAV");
  package("no-audio-path", R"({"id":"no-audio-path","displayName":"x"})");
  package("Caps", R"({"id":"Caps","audioPath":"a.mp3"})", "a.mp3");
  package("escape", R"({"audioPath":"../done-chime/done.mp3"})");
  package("outside", R"({"audioPath":")" + home.file("outside.mp3").toUtf8() + R"("})");
  ASSERT_TRUE(test::writeFile(home.file("outside.mp3"), "audio"));
  package("missing-file", R"({"audioPath":"gone.mp3"})");
  package("not-object", R"(["audioPath"])", "a.mp3");
  package(".hidden", R"({"audioPath":"a.mp3"})", "a.mp3");
  package("aaa-claims-done", R"({"id":"done-chime","audioPath":"a.mp3"})", "a.mp3");
  package("twin-1", R"({"id":"twin","audioPath":"twin.mp3"})", "twin.mp3");
  package("twin-2", R"({"id":"twin","audioPath":"twin.mp3"})", "twin.mp3");
  ASSERT_TRUE(link(sounds("done-chime"), sounds("linked")));

  const auto packages = loadSoundPackages(tandrelHome());
  QStringList ids, folders;
  for (const auto& p : packages) {
    ids << p.id;
    folders << QFileInfo(p.folder).fileName();
  }
  EXPECT_EQ(ids, QStringList({"alpha", "folder-id", "done-chime", "twin"}));
  EXPECT_EQ(folders, QStringList({"alpha", "folder-id", "done-chime", "twin-1"}));
  const LocalSoundPackage& done = packages[2];
  EXPECT_EQ(done.audioPath, sounds("done-chime/done.mp3"));
  EXPECT_EQ(done.displayName, QStringLiteral("Done Chime"));
  EXPECT_EQ(done.defaultAssign, QStringLiteral("Done"));
  EXPECT_EQ(packages[1].displayName, std::nullopt);

  EXPECT_TRUE(loadSoundPackages(home.file("nowhere")).empty());
}

TEST_F(SoundPackagesTest, SignatureFollowsThePackageListAndTheAssignmentFile) {
  const auto empty = localSoundDiskSignature(tandrelHome());
  EXPECT_FALSE(empty.soundRoot.exists);
  EXPECT_FALSE(empty.assignmentsFile.exists);
  package("one", R"({"audioPath":"a.mp3"})", "a.mp3");
  const auto first = localSoundDiskSignature(tandrelHome());
  EXPECT_TRUE(first.soundRoot.exists);
  EXPECT_EQ(localSoundDiskSignature(tandrelHome()), first);
  // A change inside a package folder is not seen; a new folder is.
  ASSERT_TRUE(test::writeFile(sounds("one/a.mp3"), "other audio"));
  EXPECT_EQ(localSoundDiskSignature(tandrelHome()), first);
  const timespec later[2] = {{2'000'000'000, 0}, {2'000'000'000, 0}};
  ASSERT_TRUE(QDir().mkpath(sounds("two")));
  ::utimensat(AT_FDCWD, QFile::encodeName(sounds()).constData(), later, 0);
  EXPECT_NE(localSoundDiskSignature(tandrelHome()), first);
  ASSERT_TRUE(saveTandrelSoundAssignment(tandrelHome(), "one", "Done"));
  EXPECT_TRUE(localSoundDiskSignature(tandrelHome()).assignmentsFile.exists);
}

TEST_F(SoundPackagesTest, AssignmentMovesThePackageAndKeepsEverythingElse) {
  const QString file = home.file(".tandrel/config/sounds.json");
  ASSERT_TRUE(saveTandrelSoundAssignment(tandrelHome(), "done-chime", "Done"));
  EXPECT_EQ(jsonFile(file), QJsonDocument::fromJson(R"({"version":1,"assignments":{"Done":"done-chime"},"installed":[]})").object());

  ASSERT_TRUE(test::writeFile(file, R"({"version":2,"assignments":{"Notifications":"folder-chime","Done":"other","Pet sounds":5},
      "installed":[{"id":"folder-chime","version":"0.1.0"}],"cli":{"keep":true}})"));
  ASSERT_TRUE(saveTandrelSoundAssignment(tandrelHome(), "folder-chime", "Done"));
  EXPECT_EQ(jsonFile(file), QJsonDocument::fromJson(R"({"version":2,"assignments":{"Done":"folder-chime","Pet sounds":5},
      "installed":[{"id":"folder-chime","version":"0.1.0"}],"cli":{"keep":true}})").object());
  EXPECT_TRUE(test::readFile(file).contains("\n    \"assignments\"")) << "pretty-printed";
}

TEST_F(SoundPackagesTest, DamagedAssignmentFilesAreRefusedAndLeftAlone) {
  const QString file = home.file(".tandrel/config/sounds.json");
  for (const QByteArray& damaged : {QByteArray("{\"version\":1,"), QByteArray("[1,2]"), QByteArray("\"text\""),
                                    QByteArray(R"({"assignments":["Done"]})")}) {
    ASSERT_TRUE(test::writeFile(file, damaged));
    const auto result = saveTandrelSoundAssignment(tandrelHome(), "done-chime", "Done");
    EXPECT_FALSE(result) << damaged.constData();
    EXPECT_TRUE(result.error().contains(file)) << result.error().toStdString();
    EXPECT_EQ(test::readFile(file), damaged);
  }
}

TEST_F(SoundPackagesTest, FolderImportCopiesOrKeepsInPlace) {
  ASSERT_TRUE(test::writeFile(home.file("import/sound.json"),
                              R"({"id":"folder-chime","displayName":"Folder Chime","audioPath":"folder.mp3"})"));
  ASSERT_TRUE(test::writeFile(home.file("import/folder.mp3"), "audio"));
  ASSERT_TRUE(test::writeFile(sounds("folder-chime/stale.txt"), "old package"));

  auto installed = installSoundPackageFromDirectory(tandrelHome(), home.file("import"));
  ASSERT_TRUE(installed) << installed.error().toStdString();
  EXPECT_EQ(installed->id, QStringLiteral("folder-chime"));
  EXPECT_EQ(installed->audioPath, sounds("folder-chime/folder.mp3"));
  EXPECT_EQ(installed->folder, sounds("folder-chime"));
  EXPECT_TRUE(QFile::exists(sounds("folder-chime/sound.json")));
  EXPECT_FALSE(QFile::exists(sounds("folder-chime/stale.txt"))) << "the package is replaced whole";
  EXPECT_EQ(QDir(sounds()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({"folder-chime"}))
      << "no staging or old folder left behind";

  // The installed folder itself, directly or through a link: nothing is copied or lost.
  ASSERT_TRUE(link(sounds("folder-chime"), home.file("shortcut")));
  for (const QString& source : {sounds("folder-chime"), home.file("shortcut")}) {
    installed = installSoundPackageFromDirectory(tandrelHome(), source);
    ASSERT_TRUE(installed) << installed.error().toStdString();
    EXPECT_EQ(test::readFile(sounds("folder-chime/folder.mp3")), QByteArray("audio"));
  }

  EXPECT_EQ(installSoundPackageFromDirectory(tandrelHome(), home.file("nowhere")).error(),
            QString::fromUtf8(kNotASoundPackageMessage));
}

TEST_F(SoundPackagesTest, FolderImportRefusesOverlapsAndNeverFollowsTheOldTarget) {
  // A package folder inside the package it would replace (also reached through a link).
  package("folder-chime", R"({"audioPath":"a.mp3"})", "a.mp3");
  ASSERT_TRUE(test::writeFile(sounds("folder-chime/inner/sound.json"), R"({"id":"folder-chime","audioPath":"b.mp3"})"));
  ASSERT_TRUE(test::writeFile(sounds("folder-chime/inner/b.mp3"), "inner audio"));
  ASSERT_TRUE(link(sounds("folder-chime/inner"), home.file("inner-link")));
  for (const QString& source : {sounds("folder-chime/inner"), home.file("inner-link")}) {
    EXPECT_FALSE(installSoundPackageFromDirectory(tandrelHome(), source)) << source.toStdString();
    EXPECT_EQ(test::readFile(sounds("folder-chime/inner/b.mp3")), QByteArray("inner audio"));
    EXPECT_EQ(test::readFile(sounds("folder-chime/a.mp3")), QByteArray("audio"));
  }

  // The sounds folder's entry for the id is a link to the user's own folder: the link is replaced,
  // the folder it named is not touched.
  ASSERT_TRUE(test::writeFile(home.file("music/keep.mp3"), "mine"));
  ASSERT_TRUE(link(home.file("music"), sounds("linked-chime")));
  ASSERT_TRUE(test::writeFile(home.file("src/sound.json"), R"({"id":"linked-chime","audioPath":"c.mp3"})"));
  ASSERT_TRUE(test::writeFile(home.file("src/c.mp3"), "c"));
  ASSERT_TRUE(installSoundPackageFromDirectory(tandrelHome(), home.file("src")));
  EXPECT_EQ(test::readFile(home.file("music/keep.mp3")), QByteArray("mine"));
  EXPECT_FALSE(QFileInfo(sounds("linked-chime")).isSymLink());
  EXPECT_TRUE(QFile::exists(sounds("linked-chime/c.mp3")));
}

TEST_F(SoundPackagesTest, AudioFileImportMakesAPackage) {
  ASSERT_TRUE(test::writeFile(home.file("Standalone Cue.ogg"), "ogg audio"));
  auto installed = installSoundPackageFromAudioFile(tandrelHome(), home.file("Standalone Cue.ogg"));
  ASSERT_TRUE(installed) << installed.error().toStdString();
  EXPECT_EQ(installed->id, QStringLiteral("standalone-cue"));
  EXPECT_EQ(installed->audioPath, sounds("standalone-cue/audio.ogg"));
  EXPECT_EQ(installed->displayName, QStringLiteral("Standalone Cue"));
  EXPECT_EQ(test::readFile(sounds("standalone-cue/audio.ogg")), QByteArray("ogg audio"));
  EXPECT_EQ(jsonFile(sounds("standalone-cue/sound.json")),
            QJsonDocument::fromJson(R"({"audioPath":"audio.ogg","description":"Imported local sound","displayName":"Standalone Cue"})")
                .object());
  EXPECT_EQ(soundPackage(sounds("standalone-cue"))->id, QStringLiteral("standalone-cue"));

  // Re-importing a file that lives in the package it replaces keeps its sound.
  ASSERT_TRUE(test::writeFile(sounds("cue/cue.wav"), "wav audio"));
  installed = installSoundPackageFromAudioFile(tandrelHome(), sounds("cue/cue.wav"));
  ASSERT_TRUE(installed) << installed.error().toStdString();
  EXPECT_EQ(test::readFile(sounds("cue/audio.wav")), QByteArray("wav audio"));

  const std::vector<std::pair<QString, const char*>> refused = {
      {home.file("notes.txt"), kUnacceptedAudioMessage},
      {home.file("tune.M4A"), kUnplayableAudioMessage},
      {home.file("tune.aac"), kUnplayableAudioMessage},
      {home.file("gone.ogg"), kAudioNotFoundMessage},
  };
  ASSERT_TRUE(test::writeFile(home.file("notes.txt"), "text"));
  ASSERT_TRUE(test::writeFile(home.file("tune.M4A"), "m4a"));
  for (const auto& [file, message] : refused) {
    EXPECT_EQ(installSoundPackageFromAudioFile(tandrelHome(), file).error(), QString::fromUtf8(message));
  }
}

TEST_F(SoundPackagesTest, DeletionRemovesOnlyARealFolderInsideTheSoundsFolder) {
  package("twin-1", R"({"id":"twin","audioPath":"a.mp3"})", "a.mp3");
  package("twin", R"({"id":"other","audioPath":"a.mp3"})", "a.mp3");
  ASSERT_TRUE(test::writeFile(home.file("elsewhere/keep.mp3"), "keep"));
  ASSERT_TRUE(link(home.file("elsewhere"), sounds("link")));

  EXPECT_FALSE(deleteSoundPackageFolder(tandrelHome(), sounds("../../elsewhere")));
  EXPECT_FALSE(deleteSoundPackageFolder(tandrelHome(), sounds("link")));
  EXPECT_FALSE(deleteSoundPackageFolder(tandrelHome(), sounds()));
  EXPECT_FALSE(deleteSoundPackageFolder(tandrelHome(), QString()));
  EXPECT_TRUE(QFile::exists(home.file("elsewhere/keep.mp3")));

  // The folder the package came from goes, not the folder named like its id.
  EXPECT_TRUE(deleteSoundPackageFolder(tandrelHome(), sounds("twin-1")));
  EXPECT_FALSE(QFile::exists(sounds("twin-1")));
  EXPECT_TRUE(QFile::exists(sounds("twin/a.mp3")));
}

}  // namespace
}  // namespace tandrel
