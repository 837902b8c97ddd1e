#include "selfcheck/checks/companion_geometry_checks.h"

#include "companion/companion_layout.h"
#include "platform/user_defaults.h"
#include "selfcheck/harness.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "ui/settings_model.h"

#include <QFile>

#include <algorithm>

namespace tandrel {

using namespace companion;

namespace {

QRectF panelBounds(CompanionDisplayMode mode, double scale) { return {QPointF(), companionSize(mode, scale)}; }

QRectF labelRect(const CompanionLabelRects& rects) { return rects.title.united(rects.detail); }

// The pet's square lies within the panel from top to bottom.
bool petFitsVertically(CompanionDisplayMode mode, double scale) {
  const QRectF bounds = panelBounds(mode, scale);
  const QRectF pet = companionPetContentRect(bounds, mode);
  return pet.top() >= bounds.top() && pet.bottom() <= bounds.bottom();
}

}  // namespace

void runCompanionGeometryChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };
  using Mode = CompanionDisplayMode;

  check(companionSize(Mode::bubble, 1.0) == QSizeF(184, 152),
        "default bubble companion size should match the prototype desktop pet window");
  check(companionSize(Mode::floating, 1.0) == QSizeF(184, 152),
        "default floating companion size should match the prototype desktop pet window");
  check(companionSize(Mode::roaming, 1.0) == QSizeF(316, 150),
        "default roaming companion size should match the prototype sweep window");
  check(companionSize(Mode::floating, 1.5) == QSizeF(276, 228), "floating companion size should scale up");
  check(companionSize(Mode::floating, 0.1) == QSizeF(138, 114),
        "floating companion size should clamp to minimum scale");
  check(companionSize(Mode::tucked, 1.5) == QSizeF(234, 144),
        "tucked companion size should use the same desktop pet scale");

  check(petFitsVertically(Mode::bubble, 1.5), "scaled bubble desktop companion should not clip the pet");
  check(petFitsVertically(Mode::floating, 1.0),
        "floating desktop companion should show the full pet body without clipping");
  const QRectF floating = panelBounds(Mode::floating, 1.0);
  const QRectF floatingPet = companionPetContentRect(floating, Mode::floating);
  const qreal visibleHeight = std::max<qreal>(
      0, std::min(floatingPet.bottom(), floating.bottom()) - std::max(floatingPet.top(), floating.top()));
  check(visibleHeight / floatingPet.height() >= 0.98, "floating desktop companion should keep the full pet visible");

  // The panel is drawn y-down: "above the pet" is a smaller y.
  const CompanionLabelRects floatingRects = companionLabelRects(floating, floatingPet, Mode::floating);
  const QRectF floatingLabel = labelRect(floatingRects);
  check(floatingLabel.bottom() <= floatingPet.top(), "floating companion text should stay above the pet");
  check(floatingPet.top() - floatingLabel.bottom() <= 8, "floating companion text should sit close to the pet");

  // The bubble behind a working Codex item, measured in the fonts the companion draws with.
  const QFont titleFont = islandFont(11);
  const QFont detailFont = islandFont(10);
  const auto [title, detail] = companionJumpLines(
      QStringLiteral("Codex CLI"), QStringLiteral("working"),
      companionLabelCharacterLimit(floatingRects.title.width(), titleFont.pixelSize()),
      companionLabelCharacterLimit(floatingRects.detail.width(), detailFont.pixelSize()));
  const qreal titleWidth = island_paint::textWidth(title, titleFont);
  const qreal detailWidth = island_paint::textWidth(detail, detailFont);
  const QRectF bubble = companionLabelBubble(floating, floatingRects, Mode::floating, titleWidth, detailWidth);
  const qreal widestText = std::max(std::ceil(titleWidth), std::ceil(detailWidth));
  check(bubble.width() <= widestText + 16,
        "floating companion label background should only add tight horizontal padding");
  check(bubble.width() < 0.75 * floatingLabel.width(),
        "floating companion label background should hug the text instead of filling the label lane");

  check(companionLabelChrome(true).fill.valueF() < companionLabelChrome(false).fill.valueF(),
        "companion label background should adapt between dark and light appearances");

  const QRectF roaming = panelBounds(Mode::roaming, 1.0);
  const QRectF roamingPet = companionPetContentRect(roaming, Mode::roaming);
  const QRectF roamingLabel = labelRect(companionLabelRects(roaming, roamingPet, Mode::roaming));
  check(roamingLabel.bottom() + 1 <= roamingPet.top(), "roaming companion text should stay above the pet");
  check(std::abs(roamingLabel.center().x() - roamingPet.center().x()) <= 10,
        "roaming companion text should stay centered over the pet");

  check(petFitsVertically(Mode::floating, 1.5), "scaled floating desktop companion should not clip the pet");

  const QSizeF islandBefore = overlayModeSize(OverlayMode::collapsed);
  (void)companionSize(Mode::floating, 1.5);
  check(overlayModeSize(OverlayMode::collapsed) == islandBefore, "floating pet size should not change top island size");

  // A pet dragged out of the island, as the settings write it, in a defaults domain of its own.
  const QString suite = scratchPath(tempRoot, QStringLiteral("companion-drag-out-defaults.json"));
  QFile::remove(suite);
  {
    UserDefaults defaults(suite);
    UserSettings values;
    applyCompanionDragOutSettings(values);
    saveUserSettings(values, defaults);
    check(defaults.storedAs<bool>(QString::fromLatin1(settings_keys::kDesktopCompanionMode)) == true,
          "drag-out should enable desktop companion mode");
    check(defaults.storedAs<QString>(QString::fromLatin1(settings_keys::kCompanionDisplayMode)) ==
              QStringLiteral("floating"),
          "drag-out should force floating companion mode");
  }
  QFile::remove(suite);
}

}  // namespace tandrel
