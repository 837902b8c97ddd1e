#include "update/update_installer.h"

#include "support/temp_home.h"
#include "support/wait.h"
#include "update/update_artifact.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace tandrel {
namespace {

using namespace UpdateInstaller;

// An install folder whose bin/tandrel appends `label` to the file named by
// TANDREL_TEST_LAUNCH_RECORD, so a test can see which version was started. Its --version exits
// with `versionStatus`, and its signature check accepts only the signature "good".
void makeInstallFolder(const QString& root, const QByteArray& label, bool withExecutable = true,
                       int versionStatus = 0) {
  if (withExecutable) {
    ASSERT_TRUE(test::writeFile(root + "/bin/tandrel",
                                "#!/bin/sh\n"
                                "case \"$1\" in\n"
                                "--version) echo Tandrel " + label + "; exit " + QByteArray::number(versionStatus) + ";;\n"
                                "--verify-update-signature) [ \"$3\" = good ]; exit $?;;\n"
                                "esac\n"
                                "echo " + label + " >>\"$TANDREL_TEST_LAUNCH_RECORD\"\n"));
    QFile::setPermissions(root + "/bin/tandrel", QFile::permissions(root + "/bin/tandrel") | QFile::ExeOwner);
  }
  ASSERT_TRUE(test::writeFile(root + "/" + kInstallMarker, "Tandrel\n"));
  ASSERT_TRUE(test::writeFile(root + "/share/tandrel/label", label));
}

// Zips the contents of `folder` into `zipPath`.
void makeZip(const QString& folder, const QString& zipPath) {
  QProcess zip;
  zip.setWorkingDirectory(folder);
  zip.start("zip", {"-qry", zipPath, "."});
  ASSERT_TRUE(zip.waitForFinished(10000));
  ASSERT_EQ(zip.exitCode(), 0) << zip.readAllStandardError().toStdString();
}

QString sha256Of(const QString& path) { return UpdateVerifier::sha256Hex(path).value_or(QString()); }

QStringList entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

class UpdateInstallerScript : public ::testing::Test {
 protected:
  void SetUp() override {
    home_.setEnv("TANDREL_TEST_LAUNCH_RECORD", home_.file("launched").toUtf8());
    apps_ = home_.file("apps");
    target_ = apps_ + "/tandrel";
    makeInstallFolder(target_, "old");
    // The script removes itself when it ends: each run gets its own copy.
    script_ = home_.file("work/install.sh");
    ASSERT_TRUE(test::writeFile(script_, installerScript()));
  }

  // Runs the script in install mode, with no process to wait for, and returns its exit status.
  int runInstall(const QString& artifact, const QString& sha, const QProcessEnvironment& environment =
                                                                  QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start("/bin/sh", {script_, "0", artifact, target_, log(), "1", result(), sha, "1.2", ""});
    EXPECT_TRUE(process.waitForFinished(20000));
    return process.exitCode();
  }

  QString label() const { return QString::fromUtf8(test::readFile(target_ + "/share/tandrel/label")); }
  QString log() const { return home_.file("Updates/install.log"); }
  QString result() const { return home_.file("Updates/last-install-result"); }
  // Waits for the relaunched app to say which version it is.
  QString launched() const {
    test::waitUntil([&] { return test::readFile(home_.file("launched")).endsWith('\n'); }, 5000);
    return QString::fromUtf8(test::readFile(home_.file("launched"))).trimmed();
  }

  // A zip holding an install folder one level down, as the package script makes it.
  QString newZip(bool withExecutable = true, bool withMarker = true, int versionStatus = 0) {
    const QString source = home_.file("source");
    makeInstallFolder(source + "/Tandrel-1.2", "new", withExecutable, versionStatus);
    if (!withMarker) {
      QFile::remove(source + "/Tandrel-1.2/" + kInstallMarker);
    }
    const QString zip = home_.file("Tandrel-1.2.zip");
    makeZip(source, zip);
    return zip;
  }

  test::TempHome home_;
  QString apps_, target_, script_;
};

TEST_F(UpdateInstallerScript, InstallsAndRelaunchesThroughTheApp) {
  const QString zip = newZip();
  PendingUpdateInstallRequest request{zip, target_, "1.2", true, sha256Of(zip), "good"};
  std::optional<PreparedProcess> started;
  QFileDevice::Permissions scriptPermissions;
  const std::optional<Failure> failure = installAndRelaunch(request, 0, [&](const PreparedProcess& process) {
    started = process;
    scriptPermissions = QFileInfo(process.arguments.value(0)).permissions();
    return startDetached(process);
  });
  ASSERT_FALSE(failure) << failure->errorDescription().toStdString();
  ASSERT_TRUE(started);
  EXPECT_EQ(started->program, "/bin/sh");
  EXPECT_FALSE(started->elevatesSwap);
  const QString scriptPath = started->arguments[0];
  const QFileDevice::Permissions userBits =
      QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
  EXPECT_EQ(scriptPermissions & ~userBits,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);

  EXPECT_EQ(launched(), "new");
  EXPECT_EQ(label(), "new");
  // Once the script has ended (it removes itself last), only the new folder is left beside it:
  // no backup, no staging folder.
  EXPECT_TRUE(test::waitUntil([&] { return !QFile::exists(scriptPath); }));
  EXPECT_TRUE(test::waitUntil([&] { return entries(apps_) == QStringList{"tandrel"}; }))
      << entries(apps_).join(' ').toStdString();
  EXPECT_FALSE(QFile::exists(installResultPath()));
  const QString log = QString::fromUtf8(test::readFile(updatesDirectory() + "/install-1.2.log"));
  EXPECT_TRUE(log.contains("installed update; relaunching " + target_)) << log.toStdString();
}

TEST_F(UpdateInstallerScript, FailuresKeepAndRelaunchTheOldAppAndLeaveAResult) {
  struct Case {
    const char* name;
    std::function<QString()> artifact;
    bool wrongChecksum;
    const char* message;
  };
  const Case cases[] = {
      // The swap happened, but the new build does not even print its version: the old one is put
      // back.
      {"new build does not start", [&] { return newZip(true, true, 1); }, false,
       "the new version did not start; restoring previous app"},
      {"not a zip",
       [&] {
         test::writeFile(home_.file("broken.zip"), "not a zip");
         return home_.file("broken.zip");
       },
       false, "could not extract update artifact"},
      {"no bin/tandrel", [&] { return newZip(false); }, false, "Tandrel not found in update artifact"},
      {"no marker", [&] { return newZip(true, false); }, false, "Tandrel not found in update artifact"},
      {"checksum", [&] { return newZip(); }, true, "update artifact failed checksum verification"},
      {"not a zip name",
       [&] {
         QFile::copy(newZip(), home_.file("Tandrel-1.2.dmg"));
         return home_.file("Tandrel-1.2.dmg");
       },
       false, "unsupported update artifact: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(home_.file("launched"));
    QDir(home_.file("source")).removeRecursively();
    QFile::remove(home_.file("Tandrel-1.2.zip"));
    ASSERT_TRUE(test::writeFile(script_, installerScript()));
    const QString artifact = c.artifact();
    EXPECT_EQ(runInstall(artifact, c.wrongChecksum ? QString(64, 'a') : sha256Of(artifact)), 1);
    EXPECT_EQ(label(), "old");
    EXPECT_EQ(entries(apps_), QStringList{"tandrel"});
    EXPECT_EQ(launched(), "old");
    const std::optional<QString> shown = takeInstallFailure(result());
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->startsWith("Update to v1.2 failed; the previous version was kept: " + QString(c.message)))
        << shown->toStdString();
    EXPECT_FALSE(QFile::exists(result()));  // shown once
  }
}

TEST_F(UpdateInstallerScript, AFailedSwapRemovesThePartialTargetAndRestoresTheBackup) {
  // A file system that cannot exchange two folders in one step (python3 stands for renameat2), and
  // an mv that, when asked to move the new folder into place, leaves half of it behind and fails.
  const QString bin = home_.file("fakebin");
  ASSERT_TRUE(test::writeFile(bin + "/mv",
                              "#!/bin/sh\n"
                              "case \"$1\" in *.update.*/extract/*)\n"
                              "  mkdir -p \"$2/half-moved\"; exit 1;;\n"
                              "esac\n"
                              "exec /bin/mv \"$@\"\n"));
  ASSERT_TRUE(test::writeFile(bin + "/python3", "#!/bin/sh\nexit 1\n"));
  for (const char* tool : {"/mv", "/python3"}) {
    QFile::setPermissions(bin + tool, QFile::permissions(bin + tool) | QFile::ExeOwner);
  }
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("PATH", bin + ":" + environment.value("PATH"));

  const QString zip = newZip();
  EXPECT_EQ(runInstall(zip, sha256Of(zip), environment), 1);
  EXPECT_EQ(label(), "old");
  EXPECT_FALSE(QFile::exists(target_ + "/half-moved"));
  EXPECT_EQ(entries(apps_), QStringList{"tandrel"});
  EXPECT_EQ(launched(), "old");
  EXPECT_TRUE(takeInstallFailure(result()).value_or("").contains("replacement failed, restoring previous app"));
  EXPECT_TRUE(QString::fromUtf8(test::readFile(log())).contains("restoring previous app"));
}

TEST_F(UpdateInstallerScript, WaitsForTheAppToEnd) {
  const QString zip = newZip();
  QProcess app;  // stands in for the app, until the test ends it
  app.start("sleep", {"60"});
  ASSERT_TRUE(app.waitForStarted());
  QProcess script;
  script.start("/bin/sh", {script_, QString::number(app.processId()), zip, target_, log(), "0", result(),
                           sha256Of(zip), "1.2", ""});
  // Still waiting while the app runs.
  EXPECT_FALSE(script.waitForFinished(300));
  EXPECT_EQ(label(), "old");
  app.kill();
  ASSERT_TRUE(app.waitForFinished(5000));
  ASSERT_TRUE(script.waitForFinished(10000));
  EXPECT_EQ(script.exitCode(), 0);
  EXPECT_EQ(label(), "new");
  EXPECT_FALSE(QFile::exists(home_.file("launched")));  // relaunch "0"
  EXPECT_TRUE(QString::fromUtf8(test::readFile(log())).contains("relaunch skipped"));
}

TEST_F(UpdateInstallerScript, ElevatedSwapWorksOnAPrivateCheckedCopy) {
  const QString zip = newZip();
  auto swap = [&](const QString& sha, const QString& signature) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", home_.file("tmp"));
    QDir().mkpath(home_.file("tmp"));
    process.setProcessEnvironment(environment);
    process.start("/bin/sh", {script_, "--swap", sha, signature, zip, target_});
    EXPECT_TRUE(process.waitForFinished(20000));
    return std::pair(process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()));
  };
  // The copy is checked against the checksum, then against the signature by the installed build.
  const struct {
    QString sha;
    const char* signature;
    const char* message;
  } refusals[] = {
      {QString(64, 'b'), "good", "update artifact failed checksum verification"},
      {sha256Of(zip), "forged", "update artifact failed signature verification"},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.message);
    const auto [refused, refusedLog] = swap(r.sha, r.signature);
    EXPECT_EQ(refused, 1);
    EXPECT_TRUE(refusedLog.contains(r.message)) << refusedLog.toStdString();
    EXPECT_EQ(label(), "old");
    EXPECT_TRUE(entries(home_.file("tmp")).isEmpty());
  }

  const auto [status, output] = swap(sha256Of(zip).toUpper(), "good");
  EXPECT_EQ(status, 0) << output.toStdString();
  EXPECT_EQ(label(), "new");
  EXPECT_TRUE(output.contains("replaced " + target_));
  // The private copies are gone, the caller's script stays for the caller to remove, and the
  // swap step never relaunches.
  EXPECT_TRUE(entries(home_.file("tmp")).isEmpty());
  EXPECT_TRUE(QFile::exists(script_));
  EXPECT_FALSE(QFile::exists(home_.file("launched")));
}

TEST(UpdateInstaller, ALaunchFinishesAnInstallThatWasStoppedHalfWay) {
  test::TempHome home;
  const QString apps = home.file("apps");
  makeInstallFolder(apps + "/tandrel", "new");
  // A process id that is surely gone: a child that has ended and been reaped.
  QProcess ended;
  ended.start("true");
  ASSERT_TRUE(ended.waitForStarted(5000));
  const QString gone = QString::number(ended.processId());
  ASSERT_TRUE(ended.waitForFinished(5000));
  const QString running = QString::number(::getpid());
  const QStringList leftovers{".tandrel.backup.1700000000." + gone, ".tandrel.update." + gone + ".Ab12Cd",
                              ".tandrel.backup.1700000000." + running, ".tandrel.update.notapid.Ab12Cd",
                              ".other.backup.1700000000." + gone};
  for (const QString& name : leftovers) {
    makeInstallFolder(apps + "/" + name, "old");
  }
  EXPECT_EQ(finishInterruptedInstall(apps + "/tandrel"),
            (QStringList{apps + "/.tandrel.backup.1700000000." + gone, apps + "/.tandrel.update." + gone + ".Ab12Cd"}));
  EXPECT_EQ(entries(apps), (QStringList{".other.backup.1700000000." + gone, ".tandrel.backup.1700000000." + running,
                                        ".tandrel.update.notapid.Ab12Cd", "tandrel"}));
  // Only beside an install folder of ours.
  EXPECT_TRUE(finishInterruptedInstall(apps + "/.other.backup.1700000000." + gone + "/bin").isEmpty());
}

TEST(UpdateInstaller, RefusesBeforeStarting) {
  test::TempHome home;
  makeInstallFolder(home.file("apps/tandrel"), "old");
  ASSERT_TRUE(test::writeFile(home.file("a.zip"), "zip"));
  int launches = 0;
  const Launcher counting = [&](const PreparedProcess&) -> std::optional<QString> {
    ++launches;
    return QStringLiteral("no such program");
  };
  auto install = [&](const QString& artifact, const QString& target) {
    return installAndRelaunch({artifact, target, "1.2", true, "ab", "good"}, 42, counting);
  };

  const std::optional<Failure> missing = install(home.file("none.zip"), home.file("apps/tandrel"));
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->errorDescription(), "Downloaded update artifact is missing at " + home.file("none.zip") + ".");

  // A build tree or any folder without the marker cannot be replaced.
  QDir().mkpath(home.file("build/bin"));
  const std::optional<Failure> unsupported = install(home.file("a.zip"), home.file("build"));
  ASSERT_TRUE(unsupported);
  EXPECT_EQ(unsupported->kind, Failure::Kind::unsupportedTarget);
  EXPECT_TRUE(unsupported->errorDescription().startsWith("Current app bundle is not replaceable: " + home.file("build")));
  EXPECT_EQ(launches, 0);

  // A launch that fails removes the script it wrote.
  const std::optional<Failure> notStarted = install(home.file("a.zip"), home.file("apps/tandrel"));
  ASSERT_TRUE(notStarted);
  EXPECT_EQ(notStarted->errorDescription(), "Could not start updater: no such program");
  EXPECT_EQ(launches, 1);
  EXPECT_EQ(QDir(updatesDirectory()).entryList({"*.sh"}, QDir::Files), QStringList());
}

TEST(UpdateInstaller, ArgumentVectorAndElevation) {
  test::TempHome home;
  makeInstallFolder(home.file("apps/tandrel"), "old");
  ASSERT_TRUE(test::writeFile(home.file("a zip's \"name\".zip"), "zip"));
  std::optional<PreparedProcess> started;
  const Launcher recording = [&](const PreparedProcess& process) -> std::optional<QString> {
    started = process;
    return std::nullopt;
  };
  ASSERT_FALSE(installAndRelaunch({home.file("a zip's \"name\".zip"), home.file("apps/tandrel/"), "../1.2 x", false, "AB", ""},
                                  4242, recording));
  ASSERT_TRUE(started);
  const QStringList& a = started->arguments;
  ASSERT_EQ(a.size(), 12);
  EXPECT_EQ(a.mid(1, 11), (QStringList{"4242", home.file("a zip's \"name\".zip"), home.file("apps/tandrel"),
                                       updatesDirectory() + "/install-1.2-x.log", "0", installResultPath(), "AB",
                                       "../1.2 x", "", "", ""}));
  EXPECT_EQ(test::readFile(a[0]), installerScript());
  EXPECT_FALSE(started->elevatesSwap);

  // A parent the user cannot write to hands the swap to pkexec (the root user can write anywhere).
  if (::geteuid() != 0) {
    QFile::setPermissions(home.file("apps"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const std::optional<Failure> failure =
        installAndRelaunch({home.file("a zip's \"name\".zip"), home.file("apps/tandrel"), "1.2", true, "AB", "good"}, 1, recording);
    QFile::setPermissions(home.file("apps"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The swap with administrator rights would run the install's own script, which here is the
    // user's: refused.
    ASSERT_TRUE(failure);
    if (QStandardPaths::findExecutable("pkexec").isEmpty()) {
      EXPECT_EQ(failure->errorDescription(),
                "Could not start updater: " + home.file("apps") + " is not writable and pkexec is not installed.");
    } else {
      EXPECT_EQ(failure->errorDescription(),
                "Could not start updater: replacing " + home.file("apps/tandrel") +
                    " needs administrator rights, and " + home.file("apps/tandrel/share/tandrel/tandrel-update-install") +
                    " is not the installer script of a root-owned install");
    }
  }
}

TEST(UpdateInstaller, TheHostDecidesElevationAndWhereTheScriptGoes) {
  test::TempHome home;
  makeInstallFolder(home.file("apps/tandrel"), "old");
  ASSERT_TRUE(test::writeFile(home.file("a b.zip"), "zip"));
  // A PATH with a pkexec, and one without.
  ASSERT_TRUE(test::writeFile(home.file("with/pkexec"), "#!/bin/sh\nexit 1\n"));
  QFile::setPermissions(home.file("with/pkexec"), QFile::permissions(home.file("with/pkexec")) | QFile::ExeOwner);
  QDir().mkpath(home.file("without"));
  const QString scripts = home.file("scratch/scripts");
  const QString elevated = home.file("apps/tandrel/share/tandrel/tandrel-update-install");

  const struct {
    const char* name;
    bool writable;
    bool trusted;
    const char* path;
    QString failure;  // empty: started
    QString elevator;
    QString elevatedScript;
  } cases[] = {
      {"a writable parent needs no rights", true, false, "without", {}, {}, {}},
      {"a parent the user cannot write goes through pkexec", false, true, "with", {}, home.file("with/pkexec"), elevated},
      {"without pkexec", false, true, "without",
       "Could not start updater: " + home.file("apps") + " is not writable and pkexec is not installed.", {}, {}},
      {"with an installer script root does not own", false, false, "with",
       "Could not start updater: replacing " + home.file("apps/tandrel") + " needs administrator rights, and " +
           elevated + " is not the installer script of a root-owned install",
       {}, {}},
  };
  for (const auto& c : cases) {
    home.setEnv("PATH", home.file(c.path).toUtf8());
    QStringList askedWritable, askedTrusted;
    InstallHost host;
    host.folderIsWritable = [&](const QString& folder) {
      askedWritable << folder;
      return c.writable;
    };
    host.trustsElevatedScript = [&](const QString& script) {
      askedTrusted << script;
      return c.trusted;
    };
    host.scriptsFolder = scripts;
    std::optional<PreparedProcess> started;
    const std::optional<Failure> failure = installAndRelaunch(
        {home.file("a b.zip"), home.file("apps/tandrel"), "1.2", false, "AB", "sig"}, 7,
        [&](const PreparedProcess& process) -> std::optional<QString> {
          started = process;
          return std::nullopt;
        },
        host);
    EXPECT_EQ(askedWritable, QStringList{home.file("apps")}) << c.name;
    if (!c.failure.isEmpty()) {
      ASSERT_TRUE(failure) << c.name;
      EXPECT_EQ(failure->errorDescription(), c.failure) << c.name;
      EXPECT_FALSE(started) << c.name;
      continue;
    }
    ASSERT_FALSE(failure) << c.name << ": " << failure->errorDescription().toStdString();
    ASSERT_TRUE(started) << c.name;
    EXPECT_EQ(started->elevatesSwap, !c.writable) << c.name;
    EXPECT_EQ(askedTrusted, c.writable ? QStringList() : QStringList{elevated}) << c.name;
    const QStringList& a = started->arguments;
    ASSERT_EQ(a.size(), 12) << c.name;
    EXPECT_EQ(QFileInfo(a[0]).absolutePath(), scripts) << c.name;
    EXPECT_EQ(a.mid(1, 11), (QStringList{"7", home.file("a b.zip"), home.file("apps/tandrel"), scripts + "/install-1.2.log",
                                         "0", scripts + "/last-install-result", "AB", "1.2", c.elevator,
                                         c.elevatedScript, "sig"}))
        << c.name;
  }
  // Nothing reached the user's own Updates folder.
  EXPECT_FALSE(QFileInfo::exists(updatesDirectory()));
}

}  // namespace
}  // namespace tandrel
