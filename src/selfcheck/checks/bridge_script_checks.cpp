#include "selfcheck/checks/bridge_script_checks.h"

#include "hooks/hook_manager.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"

#include <utility>
#include <vector>

namespace tandrel {

void runBridgeScriptCurrentnessChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  // The event bridge, the Codex notify script and the wrapper, with the texts they should hold.
  const std::vector<std::pair<QString, QByteArray>> expected = {
      {QStringLiteral("tandrel-event"), QByteArrayLiteral("fresh event")},
      {QStringLiteral("tandrel-codex-notify"), QByteArrayLiteral("fresh codex")},
      {QStringLiteral("tandrel-wrap"), QByteArrayLiteral("fresh wrapper")},
  };
  const QByteArray outdated = QByteArrayLiteral("#!/usr/bin/env python3\nprint('old')\n");
  const auto writeAll = [&](const QString& folder, bool current) -> Result<void> {
    for (const auto& [name, text] : expected) {
      if (auto written = writeFileAtomically(current ? text : outdated, scratchPath(folder, name)); !written) {
        return written;
      }
    }
    return {};
  };
  const auto couldNotWrite = [&](const QString& reason) {
    failures.check(false, QStringLiteral("could not write bridge freshness fixtures: ") + reason);
  };

  const std::optional<QString> folder = freshScratchFolder(tempRoot, QStringLiteral("bridge-currentness"));
  if (!folder) {
    couldNotWrite(QStringLiteral("Cannot create the folder ") + scratchPath(tempRoot, QStringLiteral("bridge-currentness")));
    return;
  }
  if (auto written = writeAll(*folder, false); !written) {
    couldNotWrite(written.error());
    return;
  }
  failures.check(!bridgeScriptsCurrent(*folder, expected), QStringLiteral("outdated bridge scripts should not be treated as current"));
  if (auto written = writeAll(*folder, true); !written) {
    couldNotWrite(written.error());
    return;
  }
  failures.check(bridgeScriptsCurrent(*folder, expected), QStringLiteral("matching bridge scripts should be treated as current"));
}

}  // namespace tandrel
