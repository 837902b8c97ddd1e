#pragma once

#include "events/event_store.h"

#include <QString>

// The expanded island's click path, through the view's own hit test and actions: a high-risk
// approval waits for a second click (and a click elsewhere starts it over); a card's Jump and
// Authorize buttons are hit where they are drawn and run; the toolbar's clear buttons, the
// settings button and a press on the pet are the targets the header draws.

namespace tandrel {

// Each reads bridge records of its own under `tempRoot`.
bool highRiskApprovalConfirmationFunctionalTest(const QString& tempRoot);
bool expandedMessageActionClickFunctionalTest(const QString& tempRoot);
// Each draws a view over `store` (the run's shared store).
bool expandedClearToolbarHitTargetsMatchPrototype(EventStore& store);
bool expandedSettingsClickTargetsSettings(EventStore& store);
bool expandedPetClickWaitsForDragDecision(EventStore& store);

}  // namespace tandrel
