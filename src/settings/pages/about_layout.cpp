#include "settings/pages/about_layout.h"

#include "ui/island_paint.h"

namespace tandrel::about_layout {
namespace {

using island_paint::white;
using island_paint::withAlpha;

using Kind = UpdateState::Kind;

constexpr qreal kPanelTop = 302;
constexpr qreal kAppLogTitleWithoutPanel = 314;

QString latestVersion(const UpdateState& state) {
  return state.response ? state.response->latest.version : QString();
}

bool updateOnOffer(Kind kind) {
  return kind == Kind::available || kind == Kind::downloading || kind == Kind::verified ||
         kind == Kind::readyToRestart;
}

QString noUpdateFeedText() { return QStringLiteral("No update feed in this build"); }

}  // namespace

QStringList releaseNotes() {
  return {QStringLiteral("Faster inbox loading with many agents"),
          QStringLiteral("Clearer usage meters in the expanded island"),
          QStringLiteral("Jump support for more editors"), QStringLiteral("Smaller fixes in the settings panel")};
}

StatusBadge headerStatusBadge(const UpdateState& state, bool hasFeed) {
  if (!hasFeed && (state.kind == Kind::idle || state.kind == Kind::upToDate)) {
    return {noUpdateFeedText(), white(0.45), std::nullopt, std::nullopt};
  }
  if (updateOnOffer(state.kind)) {
    return {QStringLiteral("\u2191 v") + latestVersion(state), kLightAmber, withAlpha(kAmber, 0.12), withAlpha(kAmber, 0.28)};
  }
  switch (state.kind) {
    case Kind::error:
      return {QStringLiteral("! Update error"), kLightRed, withAlpha(kRed, 0.1), withAlpha(kRed, 0.24)};
    case Kind::checking:
      return {QStringLiteral("\u27F3 Checking..."), kBlue, withAlpha(kDeepBlue, 0.1), withAlpha(kDeepBlue, 0.24)};
    default:
      return {QStringLiteral("\u2713 Up to date"), kGreen, std::nullopt, std::nullopt};
  }
}

QString updateRowSubtitle(bool hasFeed) {
  return hasFeed ? QStringLiteral("Last checked: just now") : noUpdateFeedText();
}

TrailingControl trailingControl(const UpdateState& state) {
  if (updateOnOffer(state.kind)) {
    return {{QStringLiteral("\u2191  v") + latestVersion(state), kLightAmber, withAlpha(kAmber, 0.08), withAlpha(kAmber, 0.28)}};
  }
  switch (state.kind) {
    case Kind::upToDate:
      return {{QStringLiteral("\u2713  Up to date"), kGreen, white(0.06), white(0.12)}};
    case Kind::checking:
      return {{QStringLiteral("\u27F3  Checking..."), white(0.35), white(0.05), white(0.08)}};
    case Kind::error:
      return {{QStringLiteral("!  Error"), kLightRed, withAlpha(kRed, 0.08), withAlpha(kRed, 0.28)}};
    default:
      return {{QStringLiteral("\u27F3  Check now"), white(0.6), std::nullopt, std::nullopt}, true};
  }
}

std::optional<QRectF> updatePanelRect(const UpdateState& state) {
  qreal height = 0;
  switch (state.kind) {
    case Kind::available:
      height = 118;
      break;
    case Kind::downloading:
      height = 86;
      break;
    case Kind::verified:
    case Kind::readyToRestart:
      height = 76;
      break;
    case Kind::error:
      height = 54;
      break;
    case Kind::upToDate:
    case Kind::idle:
    case Kind::checking:
      return std::nullopt;
  }
  return QRectF(kUpdateRowRect.x(), kPanelTop, kUpdateRowRect.width(), height);
}

QRectF updatePanelActionRect(const UpdateState& state) {
  const std::optional<QRectF> panel = updatePanelRect(state);
  if (!panel) {
    return {};
  }
  switch (state.kind) {
    case Kind::verified:
    case Kind::readyToRestart:
      return {panel->x(), panel->y(), panel->width(), 48};
    case Kind::available:
      return {panel->right() - 124, panel->y() + 14, 104, 32};
    default:
      return {};
  }
}

qreal appLogTitleY(const UpdateState& state) {
  const std::optional<QRectF> panel = updatePanelRect(state);
  return panel ? panel->bottom() + 22 : kAppLogTitleWithoutPanel;
}

QRectF versionPillRect(const QString& versionText) {
  return {266, 154, 6.0 * versionText.size() + 14, 17};
}

QRectF logCardRect(qreal titleY, int noteCount) {
  return {kUpdateRowRect.x(), titleY + 24, kUpdateRowRect.width(), 76 + 20.5 * noteCount};
}

}  // namespace tandrel::about_layout
