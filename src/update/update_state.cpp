#include "update/update_state.h"

#include <QLocale>

#include <cmath>

namespace tandrel {

namespace {

UpdateState carrying(UpdateState::Kind kind, UpgradeCheckResponse response) {
  UpdateState state;
  state.kind = kind;
  state.response = std::move(response);
  return state;
}

}  // namespace

UpdateState UpdateState::upToDate(UpgradeCheckResponse response, QString checkedAt) {
  UpdateState state = carrying(Kind::upToDate, std::move(response));
  state.checkedAt = std::move(checkedAt);
  return state;
}

UpdateState UpdateState::available(UpgradeCheckResponse response) {
  return carrying(Kind::available, std::move(response));
}

UpdateState UpdateState::downloading(UpgradeCheckResponse response, double progress) {
  UpdateState state = carrying(Kind::downloading, std::move(response));
  state.progress = progress;
  return state;
}

UpdateState UpdateState::verified(UpgradeCheckResponse response, QString fileURL) {
  UpdateState state = carrying(Kind::verified, std::move(response));
  state.fileURL = std::move(fileURL);
  return state;
}

UpdateState UpdateState::readyToRestart(UpgradeCheckResponse response, QString fileURL) {
  UpdateState state = carrying(Kind::readyToRestart, std::move(response));
  state.fileURL = std::move(fileURL);
  return state;
}

UpdateState UpdateState::error(QString message) {
  UpdateState state;
  state.kind = Kind::error;
  state.message = std::move(message);
  return state;
}

UpdateState UpdateState::checking() {
  UpdateState state;
  state.kind = Kind::checking;
  return state;
}

QString currentUpdateTimestamp(const QDateTime& now) {
  return QLocale::c().toString(now.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm"));
}

UpdateState updateStateAfterVerification(const UpgradeCheckResponse& response, const QString& fileURL) {
  const QString channel =
      (response.policy ? response.policy->channel : QStringLiteral("stable")).trimmed().toLower();
  const bool signedAndNotarized = response.security && response.security->isSigned && response.security->notarized;
  const bool allowTestInstall = response.policy && response.policy->allowTestInstall;
  if (channel == QLatin1String("stable") && !signedAndNotarized && !allowTestInstall) {
    return UpdateState::error(QStringLiteral("This update is not signed for production install."));
  }
  return UpdateState::readyToRestart(response, fileURL);
}

std::vector<AboutUpdateDisplayRow> aboutUpdateRows(const UpdateState& state, const QString& currentVersion) {
  using Kind = UpdateState::Kind;
  const QString latest = state.response ? state.response->latest.version : QString();
  switch (state.kind) {
    case Kind::upToDate:
      return {{QStringLiteral("Current"), QLatin1Char('v') + currentVersion},
              {QStringLiteral("Status"), QStringLiteral("Tandrel is up to date")},
              {QStringLiteral("Checked"), state.checkedAt}};
    case Kind::available: {
      std::vector<AboutUpdateDisplayRow> rows{
          {QStringLiteral("Available"), aboutUpdateAvailableDetail(*state.response)},
          {QStringLiteral("Released"), state.response->latest.releaseDate.value_or(QStringLiteral("Unknown"))}};
      const QStringList& notes = state.response->latest.releaseNotes;
      for (qsizetype i = 0; i < std::min<qsizetype>(3, notes.size()); ++i) {
        rows.push_back({QStringLiteral("Changelog"), notes[i], true});
      }
      return rows;
    }
    case Kind::downloading:
      return {{QStringLiteral("Downloading"),
               QString::number(static_cast<qint64>(std::trunc(state.progress * 100))) + QLatin1Char('%')}};
    case Kind::verified:
      return {{QStringLiteral("Verified"), QLatin1Char('v') + latest + QStringLiteral(" is ready")}};
    case Kind::readyToRestart:
      return {{QStringLiteral("Ready"), QStringLiteral("Restart to install v") + latest}};
    case Kind::error:
      return {{QStringLiteral("Error"), state.message}};
    case Kind::idle:
      return {{QStringLiteral("Current"), QLatin1Char('v') + currentVersion},
              {QStringLiteral("Status"), QStringLiteral("No remote update feed configured")}};
    case Kind::checking:
      return {{QStringLiteral("Status"), QStringLiteral("Checking for updates...")}};
  }
  return {};
}

AboutUpdateAction aboutUpdatePrimaryAction(const UpdateState& state) {
  using Kind = UpdateState::Kind;
  switch (state.kind) {
    case Kind::upToDate:
    case Kind::error:
    case Kind::idle:
      return AboutUpdateAction::checkForUpdates;
    case Kind::available:
      return AboutUpdateAction::downloadUpdate;
    case Kind::readyToRestart:
      return AboutUpdateAction::restartToUpdate;
    case Kind::downloading:
    case Kind::verified:
    case Kind::checking:
      return AboutUpdateAction::working;
  }
  return AboutUpdateAction::working;
}

QString aboutUpdatePrimaryActionTitle(const UpdateState& state) {
  switch (aboutUpdatePrimaryAction(state)) {
    case AboutUpdateAction::checkForUpdates:
      return QStringLiteral("Check now");
    case AboutUpdateAction::downloadUpdate:
      return QStringLiteral("Download Update");
    case AboutUpdateAction::restartToUpdate:
      return QStringLiteral("Restart to Update");
    case AboutUpdateAction::working:
      return QStringLiteral("Working...");
  }
  return {};
}

bool aboutTabShowsUpdateMarker(const UpdateState& state) {
  using Kind = UpdateState::Kind;
  return state.kind == Kind::available || state.kind == Kind::downloading || state.kind == Kind::verified ||
         state.kind == Kind::readyToRestart;
}

QString aboutUpdateAvailableDetail(const UpgradeCheckResponse& response) {
  const QString version = QLatin1Char('v') + response.latest.version;
  if (!response.artifact) {
    return version;
  }
  QString kind = response.artifact->kind.trimmed().toLower();
  if (kind.isEmpty()) {
    kind = QStringLiteral("artifact");
  }
  const QString separator = QStringLiteral(" \u00b7 ");
  return version + separator + kind + separator + humanReadableByteSize(response.artifact->sizeBytes);
}

QString humanReadableByteSize(qint64 bytes) {
  if (bytes < 1024) {
    return QString::number(std::max<qint64>(bytes, 0)) + QStringLiteral(" B");
  }
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (value >= 1024.0 && unit < 3) {
    value /= 1024.0;
    ++unit;
  }
  const QString name = QLatin1String(kUnits[unit]);
  if (value == std::floor(value)) {
    return QString::number(static_cast<qint64>(value)) + QLatin1Char(' ') + name;
  }
  return QString::number(value, 'f', 1) + QLatin1Char(' ') + name;
}

}  // namespace tandrel
