#include "inbox/user_facing_message.h"

namespace tandrel {

const MessageSubmitBehavior& submitBehavior(const MessageInteraction& interaction) {
  return std::visit([](const auto& kind) -> const MessageSubmitBehavior& { return kind.submit; }, interaction);
}

}  // namespace tandrel
