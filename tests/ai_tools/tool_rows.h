#pragma once

#include "hooks/hook_manager.h"

// A tool-health row for the AI Tools tests: named by its id, with the fields the tab reads.

namespace tandrel::test {

inline ToolHealth toolRow(const QString& id, const QString& product, HookStatus status, bool detected,
                          const QString& surface = QStringLiteral("CLI"),
                          const QString& integration = QStringLiteral("Hooks"), QStringList capabilities = {},
                          std::optional<QString> jumpTarget = std::nullopt) {
  ToolHealth tool;
  tool.id = id;
  tool.product = product;
  tool.name = id;
  tool.status = status;
  tool.detected = detected;
  tool.surface = surface;
  tool.integration = integration;
  tool.capabilities = std::move(capabilities);
  tool.jumpTarget = std::move(jumpTarget);
  return tool;
}

}  // namespace tandrel::test
