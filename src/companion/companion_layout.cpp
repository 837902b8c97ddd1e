#include "companion/companion_layout.h"

#include "ui/settings_model.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tandrel::companion {

namespace {

QSizeF baseSize(CompanionDisplayMode mode) {
  switch (mode) {
    case CompanionDisplayMode::bubble:
    case CompanionDisplayMode::floating:
      return {184, 152};
    case CompanionDisplayMode::roaming:
      return {316, 150};
    case CompanionDisplayMode::tucked:
      return {156, 96};
  }
  return {184, 152};
}

// The text cut into grapheme clusters, so that an emoji or an accented letter counts once and is
// never split.
QStringList graphemeClusters(const QString& text) {
  QStringList clusters;
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  qsizetype start = 0;
  while (finder.toNextBoundary() != -1) {
    const qsizetype end = finder.position();
    clusters.append(text.mid(start, end - start));
    start = end;
  }
  return clusters;
}

QString joined(const QStringList& clusters, qsizetype from, qsizetype to) {
  QString text;
  for (qsizetype i = from; i < to; ++i) text += clusters[i];
  return text;
}

}  // namespace

void applyCompanionDragOutSettings(UserSettings& values) {
  values.desktopCompanionMode = true;
  values.companionDisplayMode = CompanionDisplayMode::floating;
}

QSizeF companionSize(CompanionDisplayMode mode, double scale) {
  const double s = std::clamp(scale, kMinimumScale, kMaximumScale);
  const QSizeF base = baseSize(mode);
  return {std::round(s * base.width()), std::round(s * base.height())};
}

QRectF companionPetContentRect(const QRectF& bounds, CompanionDisplayMode mode) {
  const qreal w = bounds.width();
  const qreal h = bounds.height();
  const qreal m = std::min(w - 16, h - 16);
  switch (mode) {
    case CompanionDisplayMode::bubble: {
      const qreal side = std::min({m, 0.47 * w, 0.56 * h});
      return {bounds.center().x() - side / 2, bounds.top() + 0.42 * h, side, side};
    }
    case CompanionDisplayMode::floating: {
      const qreal side = std::min({m, 0.47 * w, 0.56 * h});
      return {bounds.center().x() - side / 2, bounds.bottom() - side - 8, side, side};
    }
    case CompanionDisplayMode::roaming: {
      const qreal side = std::min({m, 0.28 * w, 0.58 * h});
      return {bounds.left() + 0.08 * w, bounds.top() + 0.22 * h, side, side};
    }
    case CompanionDisplayMode::tucked: {
      const qreal side = std::min({m, 0.34 * w, 0.48 * h});
      return {bounds.left() + 0.12 * w, bounds.center().y() - side / 2, side, side};
    }
  }
  return {};
}

CompanionLabelRects companionLabelRects(const QRectF& bounds, const QRectF& petRect, CompanionDisplayMode mode) {
  switch (mode) {
    case CompanionDisplayMode::bubble:
    case CompanionDisplayMode::floating: {
      const qreal y = std::max(bounds.top() + 4, petRect.top() - 38);
      const QRectF title(10, y, bounds.width() - 20, 16);
      return {title, QRectF(10, title.bottom() + 3, bounds.width() - 20, 14)};
    }
    case CompanionDisplayMode::roaming: {
      const qreal lw = std::min(std::max(petRect.width() + 52, 118.0), bounds.width() - 16);
      const qreal x = std::max(bounds.left() + 8, std::min(petRect.center().x() - lw / 2, bounds.right() - lw - 8));
      const qreal y = std::max(bounds.top(), petRect.top() - 34);
      const QRectF title(x, y, lw, 15);
      return {title, QRectF(x, title.bottom() + 1, lw, 13)};
    }
    case CompanionDisplayMode::tucked: {
      const qreal x = petRect.right() + 10;
      const QRectF title(x, bounds.center().y() - 16, bounds.right() - x - 8, 16);
      return {title, QRectF(x, title.bottom() + 2, bounds.right() - x - 8, 14)};
    }
  }
  return {};
}

QRectF companionLabelBubble(const QRectF& bounds, const CompanionLabelRects& rects, CompanionDisplayMode mode,
                            qreal titleTextWidth, qreal detailTextWidth) {
  const qreal textWidth = std::max(std::ceil(titleTextWidth), std::ceil(detailTextWidth));
  const QRectF u = rects.title.united(rects.detail);
  const qreal bw = std::min(std::max(textWidth + 14, 30.0), bounds.width() - 4);
  const qreal bh = std::min(u.height() + 8, bounds.height() - 4);
  const qreal x0 = mode == CompanionDisplayMode::tucked ? u.left() - 7 : u.center().x() - bw / 2;
  const qreal x = std::max(bounds.left() + 2, std::min(x0, bounds.right() - bw - 2));
  const qreal y = std::max(bounds.top() + 2, std::min(u.top() - 4, bounds.bottom() - bh - 2));
  return {x, y, bw, bh};
}

CompanionLabelChrome companionLabelChrome(bool darkAppearance) {
  if (darkAppearance) return {QColor::fromRgbF(0.02f, 0.02f, 0.02f, 0.68f), QColor::fromRgbF(1, 1, 1, 0.16f)};
  return {QColor::fromRgbF(1, 1, 1, 0.78f), QColor::fromRgbF(0, 0, 0, 0.14f)};
}

CompanionTextColors companionTextColors(bool darkAppearance) {
  if (darkAppearance) return {QColor::fromRgbF(1, 1, 1, 0.86f), QColor::fromRgbF(1, 1, 1, 0.68f)};
  return {QColor::fromRgbF(0, 0, 0, 0.86f), QColor::fromRgbF(0, 0, 0, 0.66f)};
}

QString companionInlineLabel(bool placementMode, CompanionDisplayMode mode, PetState state,
                             const std::optional<CompanionStatusItem>& status) {
  if (placementMode) return QStringLiteral("drag");
  if (status) return status->label;
  if (mode == CompanionDisplayMode::roaming) return QStringLiteral("roam");
  // The state names, but an approval reads as what the pet waits for.
  return state == PetState::approval ? QStringLiteral("waiting input") : rawValue(state);
}

int companionLabelCharacterLimit(qreal width, qreal fontSize) {
  return std::max(8, static_cast<int>(std::floor(width / std::max(0.56 * fontSize, 5.0))));
}

QString companionJumpLine(const QString& text, int maxCharacters) {
  static const QRegularExpression whitespace(QStringLiteral("\\s+"));
  const QString line = text.split(whitespace, Qt::SkipEmptyParts).join(QLatin1Char(' '));
  if (line.isEmpty()) return {};
  const QString marker = QString::fromLatin1(kTruncationMarker);
  if (maxCharacters < 5) return marker;
  const QStringList clusters = graphemeClusters(line);
  if (clusters.size() <= maxCharacters) return line;
  return joined(clusters, 0, maxCharacters - marker.size()) + marker;
}

std::pair<QString, QString> companionJumpLines(const QString& target, const QString& detail,
                                               int titleMaxCharacters, int detailMaxCharacters) {
  const int budget = std::max(8, static_cast<int>(0.67 * (titleMaxCharacters + detailMaxCharacters)));
  const QStringList line = graphemeClusters(companionJumpLine(target + QStringLiteral(": ") + detail, budget));
  const qsizetype count = line.size();
  const qsizetype afterColon = std::min(graphemeClusters(target).size() + 1, count);
  const auto minimumTitle = static_cast<qsizetype>(std::ceil(0.52 * budget));
  const qsizetype start = std::min(std::max(afterColon, minimumTitle), count);
  qsizetype split = start;
  if (start >= 1) {
    for (qsizetype p = start; p >= afterColon; --p) {
      if (p < count && line[p] == QStringLiteral(" ")) {
        split = p;
        break;
      }
    }
  }
  return {joined(line, 0, split).trimmed(), joined(line, split, count).trimmed()};
}

PetPreviewStateID companionPreviewState(PetState state, PetPreviewStateID idlePose) {
  switch (state) {
    case PetState::working:
      return PetPreviewStateID::running;
    case PetState::approval:
      return PetPreviewStateID::approval;
    case PetState::done:
      return PetPreviewStateID::review;
    case PetState::error:
      return PetPreviewStateID::error;
    case PetState::tired:
      return PetPreviewStateID::rateLimit;
    case PetState::idle:
      return idlePose;
  }
  return idlePose;
}

QPointF companionPetMotion(PetState state, double seconds) {
  constexpr double tau = 2 * std::numbers::pi;
  switch (state) {
    case PetState::working:
      return {0, 1.2 * std::sin(tau * seconds / 0.38)};
    case PetState::done:
      return {0, -std::abs(3.2 * std::sin(tau * seconds))};
    case PetState::error:
      return {2.2 * std::sin(tau * seconds / 0.32), 0};
    case PetState::idle:
    case PetState::approval:
    case PetState::tired:
      return {0, -0.7 * (1 + std::sin(tau * seconds / 2.6))};
  }
  return {};
}

QRectF companionVisibleFrame(const std::optional<QRectF>& availableGeometry) {
  return availableGeometry.value_or(QRectF(0, 0, 1440, 900));
}

QRectF clampCompanionFrame(const QRectF& frame, const CompanionScreens& screens) {
  std::optional<QRectF> screen;
  for (const QRectF& available : screens.available) {
    if (available.intersects(frame)) {
      screen = available;
      break;
    }
  }
  if (!screen) screen = screens.activeSurface ? screens.activeSurface : screens.primary;
  const QRectF v = companionVisibleFrame(screen);
  // The left and the bottom edge win on a screen smaller than the frame.
  const qreal x = std::max(std::min(frame.x(), v.right() - frame.width() - 8), v.left() + 8);
  const qreal y = std::min(std::max(frame.y(), v.top() + 8), v.bottom() - frame.height() - 8);
  return {x, y, frame.width(), frame.height()};
}

QRectF companionFrame(const CompanionPlacement& placement, const CompanionScreens& screens) {
  const QRectF& v = placement.visible;
  const qreal width = placement.size.width();
  const qreal height = placement.size.height();
  switch (placement.mode) {
    case CompanionDisplayMode::bubble:
    case CompanionDisplayMode::floating:
      if (placement.persistedOrigin) return clampCompanionFrame(QRectF(*placement.persistedOrigin, placement.size), screens);
      return {v.right() - width - 24, v.bottom() - 36 - height, width, height};
    case CompanionDisplayMode::roaming: {
      if (!placement.anchor) {
        const double t = placement.now;
        const qreal amplitudeX = std::max(v.width() - width - 48, 0.0);
        const qreal amplitudeY = std::min(std::max(v.height() - height - 92, 0.0), 260.0);
        const qreal x = v.left() + 24 + (std::sin(t / 4.8) + 1) / 2 * amplitudeX;
        const qreal rise = 54 + (std::sin(t / 3.2 + 0.7) + 1) / 2 * amplitudeY;
        return {x, v.bottom() - rise - height, width, height};
      }
      const double t = placement.now - placement.anchor->time;
      const qreal amplitudeX = std::min(std::max((v.width() - width - 48) / 2, 0.0), 180.0);
      const qreal amplitudeY = std::min(std::max((v.height() - height - 92) / 2, 0.0), 90.0);
      const QPointF origin(placement.anchor->origin.x() + std::sin(t / 4.8) * amplitudeX,
                           placement.anchor->origin.y() - std::sin(t / 3.2) * amplitudeY);
      return clampCompanionFrame(QRectF(origin, placement.size), screens);
    }
    case CompanionDisplayMode::tucked: {
      const qreal y = std::min(std::max(v.center().y() - height / 2, v.top() + 12), v.bottom() - height - 12);
      return {v.right() - 0.48 * width, y, width, height};
    }
  }
  return {};
}

}  // namespace tandrel::companion
