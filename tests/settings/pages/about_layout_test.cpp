#include "settings/pages/about_layout.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using namespace about_layout;

UpgradeCheckResponse offer(const QString& version) {
  UpgradeCheckResponse response;
  response.updateAvailable = true;
  response.latest.version = version;
  return response;
}

TEST(AboutLayoutTest, EachStateHasItsPanelButtonBadgeControlAndLogPosition) {
  const UpgradeCheckResponse response = offer(QStringLiteral("0.2.0"));
  const struct Case {
    const char* name;
    UpdateState state;
    std::optional<qreal> panelHeight;
    QRectF action;
    qreal appLogY;
    const char* badge;
    const char* control;
    bool controlIsButton;
  } cases[] = {
      {"idle", UpdateState::idle(), std::nullopt, {}, 314, "\u2713 Up to date", "\u27F3  Check now", true},
      {"checking", UpdateState::checking(), std::nullopt, {}, 314, "\u27F3 Checking...", "\u27F3  Checking...", false},
      {"up to date", UpdateState::upToDate(response, "2026-06-08 10:00"), std::nullopt, {}, 314, "\u2713 Up to date",
       "\u2713  Up to date", false},
      {"available", UpdateState::available(response), 118, {724, 316, 104, 32}, 442, "\u2191 v0.2.0", "\u2191  v0.2.0",
       false},
      {"downloading", UpdateState::downloading(response, 0.5), 86, {}, 410, "\u2191 v0.2.0", "\u2191  v0.2.0", false},
      {"verified", UpdateState::verified(response, "/u/a.zip"), 76, {168, 302, 680, 48}, 400, "\u2191 v0.2.0",
       "\u2191  v0.2.0", false},
      {"ready", UpdateState::readyToRestart(response, "/u/a.zip"), 76, {168, 302, 680, 48}, 400, "\u2191 v0.2.0",
       "\u2191  v0.2.0", false},
      {"error", UpdateState::error("boom"), 54, {}, 378, "! Update error", "!  Error", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<QRectF> panel = updatePanelRect(c.state);
    ASSERT_EQ(panel.has_value(), c.panelHeight.has_value());
    if (panel) {
      EXPECT_EQ(*panel, QRectF(168, 302, 680, *c.panelHeight));
    }
    EXPECT_EQ(updatePanelActionRect(c.state), c.action);
    EXPECT_EQ(appLogTitleY(c.state), c.appLogY);
    EXPECT_EQ(headerStatusBadge(c.state, true).text, QString::fromUtf8(c.badge));
    EXPECT_EQ(trailingControl(c.state).badge.text, QString::fromUtf8(c.control));
    EXPECT_EQ(trailingControl(c.state).isButton, c.controlIsButton);
  }
}

TEST(AboutLayoutTest, ColoursFollowTheStateAndOnlyTheUpToDateBadgeIsBare) {
  const StatusBadge upToDate = headerStatusBadge(UpdateState::idle(), true);
  EXPECT_EQ(upToDate.color, kGreen);
  EXPECT_FALSE(upToDate.fill);
  EXPECT_FALSE(upToDate.border);
  const StatusBadge offered = headerStatusBadge(UpdateState::available(offer("1.0")), true);
  EXPECT_EQ(offered.color, kLightAmber);
  EXPECT_EQ(offered.fill->rgb(), kAmber.rgb());
  EXPECT_NEAR(offered.fill->alphaF(), 0.12, 0.001);
  EXPECT_NEAR(trailingControl(UpdateState::error("x")).badge.border->alphaF(), 0.28, 0.001);
}

TEST(AboutLayoutTest, ABuildWithoutAFeedSaysSoAndNeverUpToDate) {
  const UpdateState states[] = {UpdateState::idle(),
                                UpdateState::upToDate(offer("0.1.0"), "2026-06-08 10:00")};
  for (const UpdateState& state : states) {
    const StatusBadge badge = headerStatusBadge(state, false);
    EXPECT_EQ(badge.text, QStringLiteral("No update feed in this build"));
    EXPECT_NE(badge.color, kGreen);
  }
  EXPECT_EQ(updateRowSubtitle(false), QStringLiteral("No update feed in this build"));
  EXPECT_EQ(updateRowSubtitle(true), QStringLiteral("Last checked: just now"));
  // What a check did still shows.
  EXPECT_EQ(headerStatusBadge(UpdateState::error("x"), false).text, QStringLiteral("! Update error"));
}

TEST(AboutLayoutTest, ThePillGrowsWithTheVersionAndTheLogCardWithTheNotes) {
  EXPECT_EQ(versionPillRect(QStringLiteral("v0.1.6")), QRectF(266, 154, 50, 17));
  EXPECT_EQ(versionPillRect(QStringLiteral("v0.10.16")).width(), 62);
  EXPECT_EQ(logCardRect(314, 4), QRectF(168, 338, 680, 158));
  EXPECT_EQ(releaseNotes().size(), 4);
  EXPECT_EQ(kStatusControlRect, QRectF(740, 247, 108, 34));
}

}  // namespace
}  // namespace tandrel
