#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// The Pets tab live preview's roaming path and reduce-motion rule, and the priority rules of the
// pet state.

namespace tandrel {

class EventStore;

// `tempRoot` holds the scratch user defaults of the preview view's settings.
void runLivePreviewAndPetStateChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot);

}  // namespace tandrel
