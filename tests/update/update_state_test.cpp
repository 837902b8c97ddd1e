#include "update/update_state.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

UpgradeCheckResponse offer(QStringList notes = {}, std::optional<UpgradeArtifact> artifact = std::nullopt) {
  UpgradeCheckResponse response;
  response.updateAvailable = true;
  response.latest = {QStringLiteral("1.2.0"), QStringLiteral("120"), std::nullopt, std::move(notes)};
  response.artifact = std::move(artifact);
  return response;
}

using Rows = std::vector<AboutUpdateDisplayRow>;

TEST(UpdateState, RowsActionsAndTitlesPerState) {
  const UpgradeArtifact zip{QStringLiteral(" ZIP "), QStringLiteral("https://h/t.zip"), QStringLiteral("ab"), 786432,
                            std::nullopt};
  UpgradeCheckResponse dated = offer({"one", "two", "three", "four", "five"}, zip);
  dated.latest.releaseDate = QString();  // empty, not missing: shown empty

  struct Case {
    const char* name;
    UpdateState state;
    Rows rows;
    AboutUpdateAction action;
    const char* title;
    bool marker;
  };
  const Case cases[] = {
      {"up to date", UpdateState::upToDate(offer(), "2026-01-02 03:04"),
       {{"Current", "v0.1.6"}, {"Status", "Tandrel is up to date"}, {"Checked", "2026-01-02 03:04"}},
       AboutUpdateAction::checkForUpdates, "Check now", false},
      {"available, five notes", UpdateState::available(dated),
       {{"Available", "v1.2.0 \u00b7 zip \u00b7 768 KB"},
        {"Released", ""},
        {"Changelog", "one", true},
        {"Changelog", "two", true},
        {"Changelog", "three", true}},
       AboutUpdateAction::downloadUpdate, "Download Update", true},
      {"available without artifact", UpdateState::available(offer()),
       {{"Available", "v1.2.0"}, {"Released", "Unknown"}}, AboutUpdateAction::downloadUpdate, "Download Update",
       true},
      {"downloading", UpdateState::downloading(offer(), 0.999), {{"Downloading", "99%"}}, AboutUpdateAction::working,
       "Working...", true},
      {"verified", UpdateState::verified(offer(), "/f"), {{"Verified", "v1.2.0 is ready"}},
       AboutUpdateAction::working, "Working...", true},
      {"ready", UpdateState::readyToRestart(offer(), "/f"), {{"Ready", "Restart to install v1.2.0"}},
       AboutUpdateAction::restartToUpdate, "Restart to Update", true},
      {"error", UpdateState::error("Boom"), {{"Error", "Boom"}}, AboutUpdateAction::checkForUpdates, "Check now",
       false},
      {"idle", UpdateState::idle(), {{"Current", "v0.1.6"}, {"Status", "No remote update feed configured"}},
       AboutUpdateAction::checkForUpdates, "Check now", false},
      {"checking", UpdateState::checking(), {{"Status", "Checking for updates..."}}, AboutUpdateAction::working,
       "Working...", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(aboutUpdateRows(c.state, QStringLiteral("0.1.6")), c.rows);
    EXPECT_EQ(aboutUpdatePrimaryAction(c.state), c.action);
    EXPECT_EQ(aboutUpdatePrimaryActionTitle(c.state), QLatin1String(c.title));
    EXPECT_EQ(aboutTabShowsUpdateMarker(c.state), c.marker);
  }
}

TEST(UpdateState, InstallGate) {
  const QString refused = QStringLiteral("This update is not signed for production install.");
  struct Case {
    const char* name;
    std::optional<UpgradePolicy> policy;
    std::optional<UpgradeSecurity> security;
    bool ready;
  };
  const Case cases[] = {
      {"no policy counts as stable", std::nullopt, std::nullopt, false},
      {"padded capital Stable, unsigned", UpgradePolicy{" Stable\n", false, false, false}, UpgradeSecurity{}, false},
      {"signed but not notarized", UpgradePolicy{}, UpgradeSecurity{true, false}, false},
      {"signed and notarized", UpgradePolicy{}, UpgradeSecurity{true, true}, true},
      {"stable allowing test installs", UpgradePolicy{"stable", false, false, true}, std::nullopt, true},
      {"test channel", UpgradePolicy{"test", false, false, false}, std::nullopt, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UpgradeCheckResponse response = offer();
    response.policy = c.policy;
    response.security = c.security;
    const UpdateState state = updateStateAfterVerification(response, QStringLiteral("/u/a.zip"));
    if (c.ready) {
      EXPECT_EQ(state, UpdateState::readyToRestart(response, QStringLiteral("/u/a.zip")));
    } else {
      EXPECT_EQ(state, UpdateState::error(refused));
    }
  }
}

TEST(UpdateState, ByteSizesAndTimestamp) {
  const std::pair<qint64, const char*> sizes[] = {
      {-5, "0 B"},          {0, "0 B"},           {1023, "1023 B"},    {1024, "1 KB"},
      {786432, "768 KB"},   {1572864, "1.5 MB"},  {1048575, "1024.0 KB"}, {1LL << 40, "1 TB"},
      {1LL << 50, "1024 TB"},
  };
  for (const auto& [bytes, text] : sizes) {
    EXPECT_EQ(humanReadableByteSize(bytes), QLatin1String(text)) << bytes;
  }
  const QDateTime local(QDate(2026, 3, 4), QTime(5, 6, 59), Qt::LocalTime);
  EXPECT_EQ(currentUpdateTimestamp(local), QStringLiteral("2026-03-04 05:06"));
}

}  // namespace
}  // namespace tandrel
