#include "update/update_client.h"

#include "catalog/paths.h"

#include <QFile>
#include <QSysInfo>
#include <QUrlQuery>

#include <algorithm>

#ifndef TANDREL_APP_VERSION
#error "TANDREL_APP_VERSION must be defined by the build"
#endif
#ifndef TANDREL_UPDATE_FEED_URL
#error "TANDREL_UPDATE_FEED_URL must be defined by the build"
#endif

namespace tandrel {
namespace {

std::optional<QUrl> validURL(const QString& name, const QProcessEnvironment& environment) {
  const std::optional<QString> value = nonEmptyString(environment.value(name));
  if (!value) {
    return std::nullopt;
  }
  const QUrl url(*value, QUrl::StrictMode);
  if (!url.isValid()) {
    return std::nullopt;
  }
  return url;
}

UpdateCheckResult decoded(const QByteArray& data, const QString& currentVersion) {
  FeedDecodeResult result = decodeUpdateResponse(data, currentVersion);
  if (auto* response = std::get_if<UpgradeCheckResponse>(&result)) {
    return std::move(*response);
  }
  if (auto* failure = std::get_if<UpdateClientFailure>(&result)) {
    return std::move(*failure);
  }
  return UpdateClientFailure{QStringLiteral("Update feed is invalid.")};
}

std::optional<QByteArray> readLocalFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return std::nullopt;
  }
  const QByteArray data = file.read(UpdateClient::kMaximumFeedBytes + 1);
  if (file.error() != QFileDevice::NoError || data.size() > UpdateClient::kMaximumFeedBytes) {
    return std::nullopt;
  }
  return data;
}

}  // namespace

QString applicationVersion() { return QStringLiteral(TANDREL_APP_VERSION); }

QString defaultUpdateFeedURL() { return QStringLiteral(TANDREL_UPDATE_FEED_URL); }

QString updatePlatformName() { return QStringLiteral("linux"); }

QString updateArchitectureName() { return QSysInfo::buildCpuArchitecture(); }

std::optional<QUrl> resolvedUpdateEndpointURL(const QProcessEnvironment& environment, bool testEnvironment,
                                              const QString& defaultFeed) {
  if (std::optional<QUrl> url = validURL(QStringLiteral("TANDREL_UPDATE_MANIFEST_URL"), environment)) {
    return url;
  }
  if (std::optional<QUrl> url = validURL(QStringLiteral("TANDREL_UPDATE_ENDPOINT"), environment)) {
    return url;
  }
  if (environment.value(QStringLiteral("TANDREL_DISABLE_DEFAULT_UPDATE_FEED")) == QLatin1String("1")) {
    return std::nullopt;
  }
  if (testEnvironment &&
      environment.value(QStringLiteral("TANDREL_ENABLE_DEFAULT_UPDATE_FEED_IN_TESTS")) != QLatin1String("1")) {
    return std::nullopt;
  }
  if (defaultFeed.isEmpty()) {
    return std::nullopt;  // this build has no feed of its own
  }
  return QUrl(defaultFeed);
}

std::optional<QUrl> resolvedUpdateEndpointURL(const QProcessEnvironment& environment) {
  return resolvedUpdateEndpointURL(environment, isTestEnvironment(), defaultUpdateFeedURL());
}

QString UpdateClient::channelFromEnvironment(const QProcessEnvironment& environment) {
  return nonEmptyString(environment.value(QStringLiteral("TANDREL_UPDATE_CHANNEL")))
      .value_or(QStringLiteral("stable"));
}

bool UpdateClient::isStaticManifestURL(const QUrl& url) {
  return url.path().trimmed().toLower().endsWith(QLatin1String(".json"));
}

std::optional<QUrl> UpdateClient::checkURL(const QString& currentVersion, const QString& build,
                                           const QString& platform, const QString& architecture) const {
  if (!endpoint) {
    return std::nullopt;
  }
  if (isStaticManifestURL(*endpoint)) {
    return endpoint;
  }
  if (!endpoint->isValid()) {
    return std::nullopt;
  }
  static const QStringList kReplaced{QStringLiteral("platform"), QStringLiteral("arch"), QStringLiteral("version"),
                                     QStringLiteral("build"), QStringLiteral("channel")};
  const QUrlQuery existing(*endpoint);
  QUrlQuery query;
  for (const auto& [name, value] : existing.queryItems(QUrl::FullyEncoded)) {
    if (!kReplaced.contains(QUrl::fromPercentEncoding(name.toUtf8()))) {
      query.addQueryItem(name, value);
    }
  }
  const QString values[] = {platform, architecture, currentVersion, build, channel};
  for (size_t i = 0; i < std::size(values); ++i) {
    query.addQueryItem(kReplaced[static_cast<qsizetype>(i)],
                       QString::fromUtf8(QUrl::toPercentEncoding(values[i])));
  }
  QUrl url = *endpoint;
  url.setQuery(query.query(QUrl::FullyEncoded), QUrl::StrictMode);
  if (!url.isValid()) {
    return std::nullopt;
  }
  return url;
}

UpdateCheckResult UpdateClient::check(const QString& currentVersion, const QString& build) const {
  if (fixtureURL) {
    const std::optional<QByteArray> data = readLocalFile(*fixtureURL);
    if (!data) {
      return UpdateClientFailure{QStringLiteral("Update feed is invalid.")};
    }
    return decoded(*data, currentVersion);
  }
  const std::optional<QUrl> url = checkURL(currentVersion, build);
  if (!url) {
    return UpdateClientFailure{QStringLiteral("No remote update feed configured.")};
  }
  const UpdateClientFailure loadFailed{QStringLiteral("Update check failed. Try again.")};
  if (url->isLocalFile()) {
    const std::optional<QByteArray> data = readLocalFile(url->toLocalFile());
    if (!data) {
      return loadFailed;
    }
    return decoded(*data, currentVersion);
  }
  const FetchedBytes fetched = fetchURLBytes(*url, kMaximumFeedBytes, timeouts);
  if (!fetched.body) {
    return loadFailed;
  }
  return decoded(*fetched.body, currentVersion);
}

bool shouldRunAutomaticUpdateCheck(const QDateTime& now, const std::optional<QDateTime>& lastAttempt,
                                   double interval) {
  if (!lastAttempt) {
    return true;
  }
  return static_cast<double>(lastAttempt->msecsTo(now)) / 1000.0 >= interval;
}

double nextAutomaticUpdateDelay(const QDateTime& now, const std::optional<QDateTime>& lastAttempt,
                                double initialDelay, double interval) {
  if (!lastAttempt) {
    return initialDelay;
  }
  const double elapsed = static_cast<double>(lastAttempt->msecsTo(now)) / 1000.0;
  if (elapsed < interval) {
    return std::max(interval - elapsed, 1.0);
  }
  return initialDelay;
}

bool shouldNotifyAutomaticUpdate(const QString& version, const std::optional<QString>& lastNotifiedVersion) {
  const QString trimmed = version.trimmed();
  if (trimmed.isEmpty()) {
    return false;
  }
  if (!lastNotifiedVersion) {
    return true;
  }
  return lastNotifiedVersion->trimmed() != trimmed;
}

}  // namespace tandrel
