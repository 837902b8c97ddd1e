#include "update/update_feed.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

const char kCheckResponse[] = R"({
  "update_available": true,
  "latest": {"version": "1.2.0", "build": "120", "release_date": "2026-01-02", "release_notes": ["a", "b"]},
  "artifact": {"kind": "zip", "url": "https://example.invalid/t.zip", "sha256": "ABC", "size_bytes": 786432},
  "requirements": {"min_macos": null},
  "security": {"signed": true},
  "policy": {"force_update": true},
  "unknown": [1, 2, 3]
})";

TEST(UpdateFeed, CheckInterfaceResponseDecodesWithItsDefaults) {
  const FeedDecodeResult result = decodeUpdateResponse(kCheckResponse, QStringLiteral("0.1.6"));
  const auto* response = std::get_if<UpgradeCheckResponse>(&result);
  ASSERT_NE(response, nullptr);
  EXPECT_TRUE(response->updateAvailable);
  EXPECT_EQ(response->latest,
            (UpgradeVersionInfo{"1.2.0", "120", QStringLiteral("2026-01-02"), QStringList{"a", "b"}}));
  EXPECT_EQ(response->artifact,
            (UpgradeArtifact{"zip", "https://example.invalid/t.zip", "ABC", 786432, std::nullopt}));
  EXPECT_EQ(response->requirements, UpgradeRequirements{});
  EXPECT_EQ(response->security, (UpgradeSecurity{true, false}));
  EXPECT_EQ(response->policy, (UpgradePolicy{"stable", true, false, false}));
}

TEST(UpdateFeed, CheckInterfaceResponseIsTrustedAsItIs) {
  // No update although the running version is older, and both shapes' keys: still the check
  // interface's answer, without an artifact.
  const FeedDecodeResult result = decodeUpdateResponse(
      R"({"update_available": false, "latest": {"version": "9.0", "build": "9"}, "latestVersion": "9.0"})",
      QStringLiteral("0.1.6"));
  const auto* response = std::get_if<UpgradeCheckResponse>(&result);
  ASSERT_NE(response, nullptr);
  EXPECT_FALSE(response->updateAvailable);
  EXPECT_FALSE(response->artifact);
  EXPECT_FALSE(response->policy);
  EXPECT_TRUE(response->latest.releaseNotes.isEmpty());
}

TEST(UpdateFeed, WrongTypesFailTheWholeDocument) {
  const char* const documents[] = {
      R"({"update_available": 1, "latest": {"version": "1", "build": "1"}})",
      R"({"update_available": true, "latest": {"version": 1, "build": "1"}})",
      R"({"update_available": true, "latest": {"version": "1", "build": "1"}, "artifact": {"kind": "zip", "url": "u", "sha256": "s", "size_bytes": 1.5}})",
      R"({"update_available": true, "latest": {"version": "1", "build": "1", "release_notes": ["a", 2]}})",
      R"({"update_available": true, "latest": {"version": "1", "build": "1"}, "security": {"signed": "yes"}})",
      R"({"latestVersion": "2.0", "blockedVersions": "0.1.6"})",
      R"({"latestVersion": "2.0", "releaseNotes": 3})",
      R"({"latestVersion": "2.0", "releaseNotes": {"text": "x"}})",
      R"({"latestVersion": "2.0", "mac": {"latestUrl": 7}})",
      R"({"latestVersion": null})",
      R"(["not", "an", "object"])",
      "not json",
  };
  for (const char* document : documents) {
    SCOPED_TRACE(document);
    EXPECT_TRUE(std::holds_alternative<FeedDecodingError>(decodeUpdateResponse(document, QStringLiteral("0.1.6"))));
  }
}

struct ManifestCase {
  const char* name;
  const char* document;
  const char* currentVersion;
  bool updateAvailable;
  bool forceUpdate;
  const char* channel;
  bool allowManualOpen;
  bool allowTestInstall;
  QStringList releaseNotes;
};

TEST(UpdateFeed, StaticManifestMapsOntoAResponse) {
  const ManifestCase cases[] = {
      {"newer", R"({"latestVersion": "1.0"})", "0.1.6", true, false, "stable", true, false, {}},
      {"same version", R"({"latestVersion": "0.1.6"})", "0.1.6", false, false, "stable", true, false, {}},
      {"current version blocked", R"({"latestVersion": "0.2", "blockedVersions": ["0.1.6"]})", "0.1.6", true, true,
       "stable", true, false, {}},
      // A blocked version is never offered, not even to replace another blocked one.
      {"latest version blocked", R"({"latestVersion": "1.0", "blockedVersions": ["1.0"]})", "0.1.6", false, false,
       "stable", true, false, {}},
      {"both blocked", R"({"latestVersion": "0.1.6", "blockedVersions": ["0.1.6"]})", "0.1.6", false, true, "stable",
       true, false, {}},
      {"equal to the minimum is not below it", R"({"latestVersion": "0.1.6", "minimumSupportedVersion": "0.1.6"})",
       "0.1.6", false, false, "stable", true, false, {}},
      {"below the force threshold", R"({"latestVersion": "0.1.6", "forceUpdateBelow": "0.2"})", "0.1.6", true,
       true, "stable", true, false, {}},
      {"empty policy", R"({"latestVersion": "1.0", "policy": {}})", "0.1.6", true, false, "stable", true, false, {}},
      {"test install without channel", R"({"latestVersion": "1.0", "policy": {"allowTestInstall": true}})", "0.1.6",
       true, false, "test", true, true, {}},
      {"explicit channel and flags",
       R"({"latestVersion": "1.0", "policy": {"channel": " beta ", "forceUpdate": true, "allowManualOpen": false}})",
       "0.1.6", true, true, "beta", false, false, {}},
      {"one note as text", R"({"latestVersion": "1.0", "releaseNotes": "Fixes"})", "0.1.6", true, false, "stable",
       true, false, {"Fixes"}},
      {"empty note text", R"({"latestVersion": "1.0", "releaseNotes": ""})", "0.1.6", true, false, "stable", true,
       false, {}},
      {"notes as a list", R"({"latestVersion": "1.0", "releaseNotes": ["x", "y"]})", "0.1.6", true, false, "stable",
       true, false, {"x", "y"}},
  };
  for (const ManifestCase& c : cases) {
    SCOPED_TRACE(c.name);
    const FeedDecodeResult result = decodeUpdateResponse(c.document, QString::fromLatin1(c.currentVersion));
    const auto* response = std::get_if<UpgradeCheckResponse>(&result);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->updateAvailable, c.updateAvailable);
    ASSERT_TRUE(response->policy);
    EXPECT_EQ(response->policy->forceUpdate, c.forceUpdate);
    EXPECT_EQ(response->policy->channel, QLatin1String(c.channel));
    EXPECT_EQ(response->policy->allowManualOpen, c.allowManualOpen);
    EXPECT_EQ(response->policy->allowTestInstall, c.allowTestInstall);
    EXPECT_EQ(response->latest.releaseNotes, c.releaseNotes);
    EXPECT_EQ(response->security, UpgradeSecurity{});
    EXPECT_EQ(response->requirements, UpgradeRequirements{});
  }
}

TEST(UpdateFeed, StaticManifestArtifact) {
  auto decode = [](const char* mac, const char* current = "0.1.6") {
    return decodeUpdateResponse(
        QByteArray(R"({"latestVersion": "1.0", "latestBuild": "  ", "mac": )") + mac + "}",
        QString::fromLatin1(current));
  };
  {
    const FeedDecodeResult result = decode(R"({"dmg": "  https://h/t.zip  ", "sha256": " ab ", "sizeBytes": 5})");
    const auto* response = std::get_if<UpgradeCheckResponse>(&result);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->artifact, (UpgradeArtifact{"dmg", "https://h/t.zip", "ab", 5, std::nullopt}));
    EXPECT_EQ(response->latest.build, QStringLiteral("1.0"));  // a blank build falls back to the version
  }
  {
    const FeedDecodeResult result =
        decode(R"({"url": "https://h/a.zip", "dmg": "https://h/b", "kind": "zip", "sha256": "ab", "signature": "c2ln"})");
    const auto* response = std::get_if<UpgradeCheckResponse>(&result);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->artifact, (UpgradeArtifact{"zip", "https://h/a.zip", "ab", 0, QStringLiteral("c2ln")}));
  }
  // The URL is checked before the checksum; only "url" and "dmg" count.
  EXPECT_EQ(std::get<UpdateClientFailure>(decode(R"({"latestUrl": "https://h/x", "sha256": "ab"})")).message,
            QStringLiteral("Update feed is invalid."));
  EXPECT_EQ(std::get<UpdateClientFailure>(decode(R"({"url": "https://h/x", "sha256": "  "})")).message,
            QStringLiteral("Update feed is missing a checksum."));
  // Without an update on offer a useless mac block does not matter.
  const FeedDecodeResult noUpdate = decode(R"({})", "1.0");
  ASSERT_TRUE(std::holds_alternative<UpgradeCheckResponse>(noUpdate));
  EXPECT_FALSE(std::get<UpgradeCheckResponse>(noUpdate).artifact);
}

TEST(UpdateFeed, VersionPartsAndComparison) {
  const std::pair<const char*, std::vector<qint64>> parts[] = {
      {"1.2.3", {1, 2, 3}}, {"v1.2", {0, 2}}, {"2.0.1-beta.3", {2, 0, 1}}, {"1.4+77", {1, 4}},
      {"", {}},             {"1..2", {1, 2}}, {" 2.1", {0, 1}},            {"99999999999999999999.1", {0, 1}},
  };
  for (const auto& [text, expected] : parts) {
    EXPECT_EQ(numericVersionParts(QString::fromLatin1(text)), expected) << text;
  }
  const std::tuple<const char*, const char*, VersionOrder> comparisons[] = {
      {"1.2", "1.2.0", VersionOrder::same},           {"1.0.0-beta", "1.0.0", VersionOrder::same},
      {"1.2a", "1.0", VersionOrder::same},            {"1.10", "1.9", VersionOrder::descending},
      {"1.9", "1.10", VersionOrder::ascending},       {"1.2.0-rc1", "1.2.0", VersionOrder::same},
      {"", "", VersionOrder::same},                   {"0.1.6", "0.2", VersionOrder::ascending},
  };
  for (const auto& [left, right, order] : comparisons) {
    EXPECT_EQ(compareVersionStrings(QString::fromLatin1(left), QString::fromLatin1(right)), order)
        << left << " vs " << right;
  }
}

}  // namespace
}  // namespace tandrel
