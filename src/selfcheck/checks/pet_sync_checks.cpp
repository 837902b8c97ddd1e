#include "selfcheck/checks/pet_sync_checks.h"

#include "attention/companion_status.h"
#include "companion/companion_layout.h"
#include "companion/companion_view.h"
#include "island/tandrel_view.h"
#include "events/tandrel_event.h"
#include "platform/user_defaults.h"
#include "selfcheck/fixture_builders.h"
#include "ui/island_geometry.h"
#include "ui/settings_model.h"

#include <QStringList>

#include <cmath>
#include <optional>
#include <vector>

namespace tandrel {

namespace {

QStringList petIDs(const TandrelView& view) {
  QStringList ids;
  for (const PetChoice& choice : view.petChoices) ids << choice.id;
  return ids;
}

qreal floatingPetHeight(double scale) {
  const QRectF bounds(QPointF(), companion::companionSize(CompanionDisplayMode::floating, scale));
  return companion::companionPetContentRect(bounds, CompanionDisplayMode::floating).height();
}

}  // namespace

void runPetSyncAndCompanionChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };

  // The expanded island of one display and the collapsed islands of an external display and a
  // notched one, sharing the settings as the surfaces do.
  UserDefaults defaults(tempRoot + QStringLiteral("/pet-sync-defaults.json"));
  SettingsModel settings(defaults);
  TandrelView source(overlayModeSize(OverlayMode::expanded).toSize(), store, settings);
  TandrelView external(QSize(332, 32), store, settings);
  TandrelView macBook(collapsedOverlaySize(DisplayKind::macBookPhysical, 33.0, 32.0).toSize(), store, settings);
  // The other displays' views were made before the pets were read: only the sync gives them the
  // library.
  external.petChoices.clear();
  macBook.petChoices.clear();

  source.selectPet(QStringLiteral("capybara"));
  syncPetSettings(source, {&source, &external, &macBook});

  check(external.settings().values().selectedPetID == QStringLiteral("capybara"),
        "external display should update when a pet is selected elsewhere");
  check(macBook.settings().values().selectedPetID == QStringLiteral("capybara"),
        "macbook display should update when a pet is selected elsewhere");
  check(!source.petChoices.empty() && petIDs(external) == petIDs(source),
        "external display should share the updated pet library");
  check(!source.petChoices.empty() && petIDs(macBook) == petIDs(source),
        "macbook display should share the updated pet library");

  // What the companion reads of the view.
  settings.change(
      [](UserSettings& values) {
        values.previewState = PetPreviewStateID::approval;
        values.reduceMotion = true;
        values.highContrast = false;
        values.floatingPetScale = 1.25;
      },
      false);
  const PetRenderSnapshot snapshot = petRenderSnapshot(source);
  check(snapshot.previewPetState == PetState::approval, "companion render snapshot should carry live preview pet state");
  check(snapshot.floatingPetScale == 1.25, "companion render snapshot should carry floating pet size");

  // The bubble as the companion draws it over a status item, in its bubble mode: its click area
  // is the drawn bubble grown by the hit margin.
  TandrelCompanionView companion(store, settings, true);
  companion.displayMode = CompanionDisplayMode::bubble;
  const QSizeF companionBounds = companion::companionSize(CompanionDisplayMode::bubble, 1.0);
  companion.setGeometry(QRect(QPoint(), companionBounds.toSize()));
  const std::optional<TandrelEvent> working = TandrelEvent::fromDictionary(
      testEvent(QStringLiteral("pet-sync-bubble"), QStringLiteral("codex"), QStringLiteral("task_started"),
                QStringLiteral("info"), QStringLiteral("Codex started"), QStringLiteral("Planning changes")));
  const std::optional<CompanionStatusItem> status =
      working ? companionStatusItem(std::vector<TandrelEvent>{*working}) : std::nullopt;
  companion.statusProvider = [status] { return status; };
  companion.renderImage();
  const qreal margin = companion::kLabelHitMargin;
  const QRectF bubble = companion.labelHitRect().adjusted(margin, margin, -margin, -margin);
  const QRectF pet =
      companion::companionPetContentRect(QRectF(QPointF(), companionBounds), CompanionDisplayMode::bubble);
  check(status && !bubble.isEmpty() && std::abs(bubble.center().x() - pet.center().x()) <= 0.001 &&
            bubble.bottom() <= pet.top(),
        "companion bubble should sit above the pet panel");
  companion.prepareForTermination();

  check(floatingPetHeight(1.0) < floatingPetHeight(1.5),
        "companion rendering should consume floating pet size through the companion window bounds");
}

}  // namespace tandrel
