#pragma once

#include "events/tandrel_event.h"

#include <QColor>
#include <QString>

#include <optional>
#include <span>

// The pet's mood, from the companion candidates, the latest usage reading and whether a socket
// request is waiting for the user.

namespace tandrel {

enum class PetState { idle, working, approval, done, error, tired };

// The case name ("idle", "working", ...), as the pet-state test switch prints it.
QString rawValue(PetState state);

struct PetStateResolver {
  // The first rule that matches:
  //  1. a socket request waits for the user: approval;
  //  2. any event of an approval kind (human-facing or not): approval;
  //  3. any failure: error;
  //  4. the usage reading's rate-limit status is exactly "error": tired;
  //  5. any rate-limit event: tired;
  //  6. any working event: working;
  //  7. any human-facing completion: done;
  //  8. otherwise (also without events): idle.
  static PetState resolve(std::span<const TandrelEvent> events, const std::optional<UsageSnapshot>& usageStatus,
                          bool hasSocketLoopPending);
};

// The opaque accent colour the companion and its bubble draw a pet state in.
QColor petAccentColor(PetState state);

}  // namespace tandrel
