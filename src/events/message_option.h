#pragma once

#include "events/event_vocabulary.h"

#include <QString>

#include <optional>

namespace tandrel {

// One choice an agent offers with its question. An option with a `disabledReason` cannot be
// chosen.
struct MessageOption {
  QString id;
  QString label;
  std::optional<QString> detail;
  std::optional<MessageRisk> risk;
  std::optional<QString> disabledReason;

  bool operator==(const MessageOption&) const = default;
};

// The shortened last user prompt and agent answer of an event; either may be empty.
struct MessagePreview {
  QString user;
  QString agent;

  bool operator==(const MessagePreview&) const = default;
};

}  // namespace tandrel
