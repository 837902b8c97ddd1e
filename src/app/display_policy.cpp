#include "app/display_policy.h"

#include "events/raw_value_table.h"

#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace tandrel {
namespace {

constexpr RawValueTable<DisplayPolicy, 3> kPolicies{{
    {DisplayPolicy::primary, "primary"},
    {DisplayPolicy::mouse, "mouse"},
    {DisplayPolicy::all, "all"},
}};

QString truncated(qreal value) { return QString::number(static_cast<qint64>(std::trunc(value))); }

}  // namespace

QString rawValue(DisplayPolicy policy) { return rawValueIn(kPolicies, policy); }
std::optional<DisplayPolicy> parseDisplayPolicy(QStringView raw) { return parseRawValueIn(kPolicies, raw); }

ScreenInfo ScreenInfo::fromScreen(QScreen* screen) {
  return {screen->name(), screen->geometry(), screen->availableGeometry(), screen->devicePixelRatio(), screen};
}

std::vector<ScreenInfo> ScreenInfo::fromScreens() {
  std::vector<ScreenInfo> screens;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary != nullptr) {
    screens.push_back(fromScreen(primary));
  }
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen != primary) {
      screens.push_back(fromScreen(screen));
    }
  }
  return screens;
}

QString frameKey(const QRectF& rect) {
  return truncated(rect.x()) + ':' + truncated(rect.y()) + ':' + truncated(rect.width()) + ':' +
         truncated(rect.height());
}

QString screenID(const ScreenInfo& screen) {
  return screen.name.isEmpty() ? frameKey(screen.geometry) : screen.name;
}

bool sameScreen(const ScreenInfo& a, const ScreenInfo* b) {
  if (b == nullptr) {
    return false;
  }
  return screenID(a) == screenID(*b) || frameKey(a.geometry) == frameKey(b->geometry);
}

std::vector<ScreenInfo> uniqueLogicalScreens(const std::vector<ScreenInfo>& screens) {
  std::vector<ScreenInfo> unique;
  std::set<QString> seen;
  for (const ScreenInfo& screen : screens) {
    if (seen.insert(frameKey(screen.geometry)).second) {
      unique.push_back(screen);
    }
  }
  return unique;
}

std::vector<ScreenInfo> screensForPolicy(const std::vector<ScreenInfo>& uniqueScreens, DisplayPolicy policy,
                                         QPoint mouseLocation) {
  if (uniqueScreens.empty()) {
    return {};
  }
  switch (policy) {
    case DisplayPolicy::all:
      return uniqueScreens;
    case DisplayPolicy::mouse:
      for (const ScreenInfo& screen : uniqueScreens) {
        if (screen.geometry.contains(mouseLocation)) {
          return {screen};
        }
      }
      return {uniqueScreens.front()};
    case DisplayPolicy::primary:
      break;
  }
  return {uniqueScreens.front()};
}

QString screenSignature(const std::vector<ScreenInfo>& policyScreens) {
  QStringList parts;
  for (const ScreenInfo& screen : policyScreens) {
    parts << screenID(screen) + ':' + frameKey(screen.geometry);
  }
  return parts.join('|');
}

DisplayKind displayKindFor(const QByteArray& forcedKind, const ScreenInfo* screen) {
  if (forcedKind == "external") {
    return DisplayKind::externalVirtual;
  }
  if (forcedKind == "macbook") {
    return DisplayKind::macBookPhysical;
  }
  if (screen == nullptr) {
    return DisplayKind::externalVirtual;
  }
  const QString name = screen->name.toLower();
  return name.contains(QLatin1String("built-in")) || name.contains(QLatin1String("liquid retina"))
             ? DisplayKind::macBookPhysical
             : DisplayKind::externalVirtual;
}

qreal topReservedHeight(const ScreenInfo& screen) {
  return std::max(0, screen.availableGeometry.top() - screen.geometry.top());
}

QRectF topCentredFrame(const QSizeF& size, const QRect& screenGeometry) {
  const QRectF frame(screenGeometry);
  return {frame.center().x() - size.width() / 2, frame.top(), size.width(), size.height()};
}

std::set<QString> displayIDsWithFullScreenWindows(const std::vector<WindowSnapshot>& windows,
                                                  const std::vector<std::pair<QString, QRectF>>& displayBounds,
                                                  qint32 currentProcessID, bool fullScreenStateSupported) {
  std::set<QString> covered;
  for (const WindowSnapshot& window : windows) {
    if (window.ownerPID == currentProcessID || window.layer != 0 || !(window.alpha > 0.01 && window.isOnScreen) ||
        window.bounds.isEmpty() || (fullScreenStateSupported && !window.fullScreen)) {
      continue;
    }
    for (const auto& [id, bounds] : displayBounds) {
      if (!(bounds.width() > 0 && bounds.height() > 0)) {
        continue;
      }
      const QRectF overlap = window.bounds.intersected(bounds);
      if (overlap.isEmpty()) {
        continue;
      }
      if (overlap.width() * overlap.height() / (bounds.width() * bounds.height()) >= 0.98) {
        covered.insert(id);
      }
    }
  }
  return covered;
}

std::vector<std::pair<QString, QRectF>> activeDisplayBounds(const std::vector<ScreenInfo>& screens) {
  std::vector<std::pair<QString, QRectF>> bounds;
  for (const ScreenInfo& screen : screens) {
    bounds.emplace_back(screenID(screen), screen.nativeGeometry());
  }
  return bounds;
}

}  // namespace tandrel
