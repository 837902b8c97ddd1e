#pragma once

// Finding the update feed, fetching it and turning it into a response or a user-facing failure;
// and the three policy functions that time the automatic check.

#include "update/update_feed.h"
#include "update/update_transfer.h"

#include <QDateTime>
#include <QProcessEnvironment>
#include <QString>
#include <QUrl>

#include <optional>
#include <variant>

namespace tandrel {

// The running application's version, also passed as its build.
QString applicationVersion();
// The feed address built in with -DTANDREL_UPDATE_FEED_URL=…; empty when none was given.
QString defaultUpdateFeedURL();
// The platform and architecture sent to a check interface: "linux" and the architecture this
// binary was built for ("x86_64", "arm64", …), as in the package names.
QString updatePlatformName();
QString updateArchitectureName();

using UpdateCheckResult = std::variant<UpgradeCheckResponse, UpdateClientFailure>;

// The feed address, first match wins: TANDREL_UPDATE_MANIFEST_URL, then TANDREL_UPDATE_ENDPOINT
// (each when non-empty after trimming and a valid URL); nothing when
// TANDREL_DISABLE_DEFAULT_UPDATE_FEED is "1"; nothing in the test environment unless
// TANDREL_ENABLE_DEFAULT_UPDATE_FEED_IN_TESTS is "1"; else the built-in default, when there is one.
std::optional<QUrl> resolvedUpdateEndpointURL(const QProcessEnvironment& environment,
                                              bool testEnvironment, const QString& defaultFeed);
// The same for this process: its environment, test flag and built-in default.
std::optional<QUrl> resolvedUpdateEndpointURL(const QProcessEnvironment& environment);

struct UpdateClient {
  std::optional<QString> fixtureURL;  // a local file read instead of the feed
  std::optional<QUrl> endpoint;
  QString channel = QStringLiteral("stable");
  TransferTimeouts timeouts;

  // The channel of TANDREL_UPDATE_CHANNEL when non-empty, else "stable".
  static QString channelFromEnvironment(const QProcessEnvironment& environment);

  // Reads the fixture or the feed and decodes it. Blocks for the whole fetch: never call it on
  // the main thread.
  UpdateCheckResult check(const QString& currentVersion, const QString& build) const;

  // The address to fetch: none without an endpoint; a static manifest's address unchanged;
  // otherwise the endpoint with its platform, arch, version, build and channel items replaced by
  // fresh ones appended in that order.
  std::optional<QUrl> checkURL(const QString& currentVersion, const QString& build,
                               const QString& platform = updatePlatformName(),
                               const QString& architecture = updateArchitectureName()) const;

  // A path ending in ".json" (trimmed, any case).
  static bool isStaticManifestURL(const QUrl& url);

  // A feed is a small document; a longer answer is refused.
  static constexpr qint64 kMaximumFeedBytes = 1024 * 1024;
};

// Automatic checks, times in seconds.
// True without a last attempt or once `interval` has passed since it.
bool shouldRunAutomaticUpdateCheck(const QDateTime& now, const std::optional<QDateTime>& lastAttempt,
                                   double interval);
// `initialDelay` without a last attempt or once the interval has passed; else the rest of the
// interval, at least 1 second.
double nextAutomaticUpdateDelay(const QDateTime& now, const std::optional<QDateTime>& lastAttempt,
                                double initialDelay, double interval);
// False for an empty version; true when nothing was announced yet; else true unless the trimmed
// versions are equal.
bool shouldNotifyAutomaticUpdate(const QString& version, const std::optional<QString>& lastNotifiedVersion);

}  // namespace tandrel
