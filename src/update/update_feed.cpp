#include "update/update_feed.h"

#include "catalog/paths.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>
#include <limits>

namespace tandrel {
namespace {

// A strict reader of one JSON object in the manner of a typed decoder: required keys must be
// present and not null, optional keys may be missing or null, and any value of the wrong type
// marks the whole document as failed (the first reason is kept).
class StrictObject {
 public:
  StrictObject(QJsonObject object, QString path, QString* failure)
      : object_(std::move(object)), path_(std::move(path)), failure_(failure) {}

  bool failed() const { return !failure_->isEmpty(); }

  bool present(const char* key) const {
    const QJsonValue value = object_.value(QLatin1String(key));
    return !value.isUndefined() && !value.isNull();
  }
  QJsonValue raw(const char* key) const { return object_.value(QLatin1String(key)); }

  std::optional<QString> optionalString(const char* key) {
    if (!present(key)) {
      return std::nullopt;
    }
    const QJsonValue value = raw(key);
    if (!value.isString()) {
      fail(key, "a string");
      return std::nullopt;
    }
    return value.toString();
  }
  QString requiredString(const char* key) {
    if (!present(key)) {
      fail(key, "a string (required)");
      return {};
    }
    return optionalString(key).value_or(QString());
  }

  std::optional<bool> optionalBool(const char* key) {
    if (!present(key)) {
      return std::nullopt;
    }
    const QJsonValue value = raw(key);
    if (!value.isBool()) {
      fail(key, "a boolean");
      return std::nullopt;
    }
    return value.toBool();
  }
  bool requiredBool(const char* key) {
    if (!present(key)) {
      fail(key, "a boolean (required)");
      return false;
    }
    return optionalBool(key).value_or(false);
  }

  std::optional<qint64> optionalInteger(const char* key) {
    if (!present(key)) {
      return std::nullopt;
    }
    const QJsonValue value = raw(key);
    const double number = value.toDouble();
    // 2^63 is the first double outside the signed 64-bit range.
    if (!value.isDouble() || std::trunc(number) != number || number < -9.2233720368547758e18 ||
        number >= 9.2233720368547758e18) {
      fail(key, "a 64-bit integer");
      return std::nullopt;
    }
    return value.toInteger();
  }
  qint64 requiredInteger(const char* key) {
    if (!present(key)) {
      fail(key, "an integer (required)");
      return 0;
    }
    return optionalInteger(key).value_or(0);
  }

  // A list of texts; nothing when missing or null.
  std::optional<QStringList> optionalStringList(const char* key) {
    if (!present(key)) {
      return std::nullopt;
    }
    std::optional<QStringList> list = stringList(raw(key));
    if (!list) {
      fail(key, "a list of strings");
    }
    return list;
  }

  std::optional<StrictObject> optionalObject(const char* key) {
    if (!present(key)) {
      return std::nullopt;
    }
    const QJsonValue value = raw(key);
    if (!value.isObject()) {
      fail(key, "an object");
      return std::nullopt;
    }
    return StrictObject(value.toObject(), path_ + QLatin1String(key) + QLatin1Char('.'), failure_);
  }
  std::optional<StrictObject> requiredObject(const char* key) {
    if (!present(key)) {
      fail(key, "an object (required)");
      return std::nullopt;
    }
    return optionalObject(key);
  }

  static std::optional<QStringList> stringList(const QJsonValue& value) {
    if (!value.isArray()) {
      return std::nullopt;
    }
    QStringList list;
    for (const QJsonValue& item : value.toArray()) {
      if (!item.isString()) {
        return std::nullopt;
      }
      list.append(item.toString());
    }
    return list;
  }

  void fail(const char* key, const char* expected) {
    if (failure_->isEmpty()) {
      *failure_ = QStringLiteral("\"%1%2\" must be %3").arg(path_, QLatin1String(key), QLatin1String(expected));
    }
  }

 private:
  QJsonObject object_;
  QString path_;
  QString* failure_;
};

std::optional<QJsonObject> documentObject(const QByteArray& data, QString* failure) {
  QJsonParseError parseError;
  const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    *failure = QStringLiteral("not JSON: %1").arg(parseError.errorString());
    return std::nullopt;
  }
  if (!document.isObject()) {
    *failure = QStringLiteral("not a JSON object");
    return std::nullopt;
  }
  return document.object();
}

UpgradeSecurity readSecurity(StrictObject object) {
  UpgradeSecurity security;
  security.isSigned = object.optionalBool("signed").value_or(false);
  security.notarized = object.optionalBool("notarized").value_or(false);
  return security;
}

// Parses a whole decimal piece in the signed 64-bit range, as the platform's integer parser
// would: an optional sign and digits only, nothing trimmed.
std::optional<qint64> wholeNumber(QStringView piece) {
  bool ok = false;
  const qint64 value = piece.toLongLong(&ok, 10);
  if (!ok || piece.isEmpty() || piece.front().isSpace() || piece.back().isSpace()) {
    return std::nullopt;
  }
  return value;
}

bool isOlder(const QString& current, const std::optional<QString>& threshold) {
  return threshold && compareVersionStrings(current, *threshold) == VersionOrder::ascending;
}

}  // namespace

std::vector<qint64> numericVersionParts(const QString& version) {
  QStringView text(version);
  if (const qsizetype plus = text.indexOf(QLatin1Char('+')); plus >= 0) {
    text = text.left(plus);
  }
  if (const qsizetype minus = text.indexOf(QLatin1Char('-')); minus >= 0) {
    text = text.left(minus);
  }
  std::vector<qint64> parts;
  for (QStringView piece : text.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
    parts.push_back(wholeNumber(piece).value_or(0));
  }
  return parts;
}

VersionOrder compareVersionStrings(const QString& left, const QString& right) {
  const std::vector<qint64> a = numericVersionParts(left);
  const std::vector<qint64> b = numericVersionParts(right);
  for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const qint64 x = i < a.size() ? a[i] : 0;
    const qint64 y = i < b.size() ? b[i] : 0;
    if (x != y) {
      return x < y ? VersionOrder::ascending : VersionOrder::descending;
    }
  }
  return VersionOrder::same;
}

std::optional<UpgradeCheckResponse> decodeCheckResponse(const QByteArray& data) {
  QString failure;
  const std::optional<QJsonObject> root = documentObject(data, &failure);
  if (!root) {
    return std::nullopt;
  }
  StrictObject object(*root, QString(), &failure);
  UpgradeCheckResponse response;
  response.updateAvailable = object.requiredBool("update_available");
  if (std::optional<StrictObject> latest = object.requiredObject("latest")) {
    response.latest.version = latest->requiredString("version");
    response.latest.build = latest->requiredString("build");
    response.latest.releaseDate = latest->optionalString("release_date");
    response.latest.releaseNotes = latest->optionalStringList("release_notes").value_or(QStringList());
  }
  if (std::optional<StrictObject> artifact = object.optionalObject("artifact")) {
    response.artifact = UpgradeArtifact{artifact->requiredString("kind"), artifact->requiredString("url"),
                                        artifact->requiredString("sha256"),
                                        artifact->requiredInteger("size_bytes"),
                                        artifact->optionalString("signature")};
  }
  if (std::optional<StrictObject> requirements = object.optionalObject("requirements")) {
    response.requirements = UpgradeRequirements{requirements->optionalString("min_macos")};
  }
  if (std::optional<StrictObject> security = object.optionalObject("security")) {
    response.security = readSecurity(*security);
  }
  if (std::optional<StrictObject> policy = object.optionalObject("policy")) {
    UpgradePolicy value;
    value.channel = policy->optionalString("channel").value_or(QStringLiteral("stable"));
    value.forceUpdate = policy->optionalBool("force_update").value_or(false);
    value.allowManualOpen = policy->optionalBool("allow_manual_open").value_or(false);
    value.allowTestInstall = policy->optionalBool("allow_test_install").value_or(false);
    response.policy = value;
  }
  if (object.failed()) {
    return std::nullopt;
  }
  return response;
}

std::variant<StaticUpdateManifest, FeedDecodingError> decodeStaticManifest(const QByteArray& data) {
  QString failure;
  const std::optional<QJsonObject> root = documentObject(data, &failure);
  if (!root) {
    return FeedDecodingError{failure};
  }
  StrictObject object(*root, QString(), &failure);
  StaticUpdateManifest manifest;
  manifest.schemaVersion = object.optionalInteger("schemaVersion");
  manifest.app = object.optionalString("app");
  manifest.latestVersion = object.requiredString("latestVersion");
  manifest.latestBuild = object.optionalString("latestBuild");
  manifest.minimumSupportedVersion = object.optionalString("minimumSupportedVersion");
  manifest.forceUpdateBelow = object.optionalString("forceUpdateBelow");
  manifest.blockedVersions = object.optionalStringList("blockedVersions").value_or(QStringList());
  manifest.releaseDate = object.optionalString("releaseDate");

  // The notes are a list of texts; failing that, one optional text; failing that too, the
  // manifest does not decode.
  const QJsonValue notes = object.raw("releaseNotes");
  if (std::optional<QStringList> list = StrictObject::stringList(notes)) {
    manifest.releaseNotes = *list;
  } else if (notes.isString()) {
    if (!notes.toString().isEmpty()) {
      manifest.releaseNotes = QStringList{notes.toString()};
    }
  } else if (!notes.isUndefined() && !notes.isNull()) {
    object.fail("releaseNotes", "a list of strings or a string");
  }

  if (std::optional<StrictObject> mac = object.optionalObject("mac")) {
    StaticMacArtifact artifact;
    artifact.arch = mac->optionalString("arch");
    artifact.kind = mac->optionalString("kind");
    artifact.url = mac->optionalString("url");
    artifact.dmg = mac->optionalString("dmg");
    artifact.latestUrl = mac->optionalString("latestUrl");
    artifact.sha256 = mac->optionalString("sha256");
    artifact.signature = mac->optionalString("signature");
    artifact.sizeBytes = mac->optionalInteger("sizeBytes");
    manifest.mac = artifact;
  }
  if (std::optional<StrictObject> security = object.optionalObject("security")) {
    manifest.security = readSecurity(*security);
  }
  if (std::optional<StrictObject> policy = object.optionalObject("policy")) {
    StaticUpdatePolicy value;
    value.channel = policy->optionalString("channel");
    value.forceUpdate = policy->optionalBool("forceUpdate").value_or(false);
    value.allowManualOpen = policy->optionalBool("allowManualOpen").value_or(true);
    value.allowTestInstall = policy->optionalBool("allowTestInstall").value_or(false);
    manifest.policy = value;
  }
  if (object.failed()) {
    return FeedDecodingError{failure};
  }
  return manifest;
}

FeedDecodeResult decodeUpdateResponse(const QByteArray& data, const QString& currentVersion) {
  if (std::optional<UpgradeCheckResponse> response = decodeCheckResponse(data)) {
    return *response;
  }
  auto decoded = decodeStaticManifest(data);
  if (auto* error = std::get_if<FeedDecodingError>(&decoded)) {
    return *error;
  }
  const StaticUpdateManifest& manifest = std::get<StaticUpdateManifest>(decoded);

  const bool latestBlocked = manifest.blockedVersions.contains(manifest.latestVersion);
  const bool newer = compareVersionStrings(currentVersion, manifest.latestVersion) == VersionOrder::ascending;
  const bool blocked = manifest.blockedVersions.contains(currentVersion);
  const bool belowMinimum = isOlder(currentVersion, manifest.minimumSupportedVersion);
  const bool belowForce = isOlder(currentVersion, manifest.forceUpdateBelow);

  UpgradeCheckResponse response;
  response.updateAvailable = !latestBlocked && (newer || blocked || belowMinimum || belowForce);
  response.latest.version = manifest.latestVersion;
  response.latest.build =
      nonEmptyString(manifest.latestBuild.value_or(QString())).value_or(manifest.latestVersion);
  response.latest.releaseDate = manifest.releaseDate;
  response.latest.releaseNotes = manifest.releaseNotes;

  if (response.updateAvailable && manifest.mac) {
    const StaticMacArtifact& mac = *manifest.mac;
    std::optional<QString> url = nonEmptyString(mac.url.value_or(QString()));
    if (!url) {
      url = nonEmptyString(mac.dmg.value_or(QString()));
    }
    if (!url) {
      return UpdateClientFailure{QStringLiteral("Update feed is invalid.")};
    }
    const std::optional<QString> sha256 = nonEmptyString(mac.sha256.value_or(QString()));
    if (!sha256) {
      return UpdateClientFailure{QStringLiteral("Update feed is missing a checksum.")};
    }
    response.artifact = UpgradeArtifact{nonEmptyString(mac.kind.value_or(QString())).value_or(QStringLiteral("dmg")),
                                        *url, *sha256, mac.sizeBytes.value_or(0), mac.signature};
  }

  response.requirements = UpgradeRequirements{};
  response.security = manifest.security.value_or(UpgradeSecurity{});

  UpgradePolicy policy;
  policy.allowTestInstall = manifest.policy && manifest.policy->allowTestInstall;
  if (std::optional<QString> channel =
          manifest.policy ? nonEmptyString(manifest.policy->channel.value_or(QString())) : std::nullopt) {
    policy.channel = *channel;
  } else {
    policy.channel = policy.allowTestInstall ? QStringLiteral("test") : QStringLiteral("stable");
  }
  policy.forceUpdate =
      (manifest.policy && manifest.policy->forceUpdate) || blocked || belowMinimum || belowForce;
  policy.allowManualOpen = manifest.policy ? manifest.policy->allowManualOpen : true;
  response.policy = policy;
  return response;
}

}  // namespace tandrel
