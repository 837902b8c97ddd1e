#include "ai_tools/ai_tools_tab.h"

#include "base/log.h"
#include "jump/jump_openers.h"
#include "platform/app_locator.h"
#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/process_runner.h"

#include <QPointer>

namespace tandrel {

namespace {

bool launchDetached(const LaunchCommand& command) {
  return startDetachedChildProcess(command.program, command.arguments, command.workingDirectory).ok();
}

}  // namespace

AIToolsTab::AIToolsTab(ViewHooks view, Services services, std::vector<ToolHealth>& toolHealth)
    : view_(std::move(view)),
      services_(std::move(services)),
      toolHealth_(toolHealth),
      queue_(std::make_unique<SerialQueue>(QStringLiteral("app.tandrel.ai-tools"))) {
  if (!services_.health) {
    services_.health = [] { return HookManager::shared().health(); };
  }
  if (!services_.preview) {
    services_.preview = [](const QString& id) { return HookManager::shared().installationPreview(id); };
  }
  if (!services_.install) {
    services_.install = [](const QString& id) { return HookManager::shared().install(id); };
  }
  if (!services_.confirm) {
    services_.confirm = runToolConfirmationDialog;
  }
  if (services_.locator == nullptr) {
    services_.locator = &AppLocator::system();
  }
  if (services_.clock == nullptr) {
    services_.clock = &Clock::system();
  }
}

// The queue finishes its running task before the tab's members go.
AIToolsTab::~AIToolsTab() { queue_.reset(); }

template <typename T>
void AIToolsTab::inBackground(std::function<T()> work, std::function<void(T)> then) {
  QPointer<AIToolsTab> self(this);
  queue_->async([self, work = std::move(work), then = std::move(then)]() mutable {
    T result = work();
    postToMain([self, then = std::move(then), result = std::move(result)]() mutable {
      if (self) {
        then(std::move(result));
      }
    });
  });
}

bool AIToolsTab::refreshAIToolsHealth(bool force, std::function<void(bool changed)> done) {
  const qint64 now = services_.clock->monotonicMs();
  if (!force && lastAIToolsHealthRefreshAt_ && now - *lastAIToolsHealthRefreshAt_ < kRefreshThrottleMs) {
    return false;
  }
  lastAIToolsHealthRefreshAt_ = now;
  auto read = toolHealthProviderForTests ? toolHealthProviderForTests : services_.health;
  inBackground<std::vector<ToolHealth>>(std::move(read), [this, done = std::move(done)](std::vector<ToolHealth> fresh) {
    const bool changed = view_.healthSignature(toolHealth_) != view_.healthSignature(fresh);
    toolHealth_ = std::move(fresh);
    if (changed && view_.usageToolsChanged) {
      view_.usageToolsChanged();
    }
    redraw();
    if (done) {
      done(changed);
    }
  });
  return true;
}

void AIToolsTab::performAIToolPrimaryAction(const ToolHealth& tool) {
  const SettingsToolPrimaryAction action = settingsToolPrimaryAction(tool);
  switch (action) {
    case SettingsToolPrimaryAction::download:
      if (services_.confirm(downloadConfirmation(tool))) {
        openWithBanner(tool);
      }
      break;
    case SettingsToolPrimaryAction::repair:
    case SettingsToolPrimaryAction::bridge:
      confirmAndInstall(tool, action);
      break;
    case SettingsToolPrimaryAction::jump:
      openWithBanner(tool);
      break;
    case SettingsToolPrimaryAction::none:
      break;
  }
  redraw();
}

bool AIToolsTab::performAIToolPrimaryActionForTests(const QString& toolID) {
  for (const ToolHealth& tool : toolHealth_) {
    if (tool.id == toolID) {
      const ToolHealth row = tool;  // the action may replace the rows
      performAIToolPrimaryAction(row);
      return true;
    }
  }
  return false;
}

void AIToolsTab::confirmAndInstall(const ToolHealth& tool, SettingsToolPrimaryAction action) {
  if (installing_.contains(tool.id)) {
    return;  // one install per tool at a time; its result is on its way
  }
  installing_.insert(tool.id);
  auto preview = services_.preview;
  const QString id = tool.id;
  inBackground<std::optional<QString>>(
      [preview, id]() -> std::optional<QString> {
        Result<QString> text = preview(id);
        return text ? std::optional<QString>(text.value()) : std::nullopt;
      },
      [this, tool, action](std::optional<QString> text) {
        const ToolConfirmation confirmation = hookConfirmation(tool, text);
        const bool confirmed = repairConfirmationForTests ? repairConfirmationForTests(confirmation)
                                                          : services_.confirm(confirmation);
        if (!confirmed) {
          installing_.remove(tool.id);
          redraw();
          return;
        }
        install(tool, action);
      });
}

void AIToolsTab::install(const ToolHealth& tool, SettingsToolPrimaryAction action) {
  auto installer = hookInstallerForTests ? hookInstallerForTests : services_.install;
  const QString id = tool.id;
  inBackground<Result<void>>([installer, id] { return installer(id); },
                             [this, tool, action](Result<void> installed) {
                               if (!installed) {
                                 installing_.remove(tool.id);
                                 banner(QStringLiteral("Install failed: ") + installed.error(),
                                        ai_tools_colors::kFailure);
                                 return;
                               }
                               refreshAIToolsHealth(true, [this, tool, action](bool) {
                                 installing_.remove(tool.id);
                                 finishInstall(tool, action);
                               });
                             });
}

void AIToolsTab::finishInstall(const ToolHealth& tool, SettingsToolPrimaryAction action) {
  if (view_.normalizeActiveUsageTool) {
    view_.normalizeActiveUsageTool();
  }
  ToolHealth updated = tool;
  for (const ToolHealth& row : toolHealth_) {
    if (row.id == tool.id) {
      updated = row;
      break;
    }
  }
  if (settingsToolAwaitsTrust(updated)) {
    // Written, but Codex runs none of it until the user trusts it: not a success yet.
    banner(updated.name + QStringLiteral(" hooks written: trust them in Codex (/hooks)"),
           ai_tools_colors::kWarning);
    return;
  }
  if (action == SettingsToolPrimaryAction::bridge) {
    banner(updated.name + QStringLiteral(" bridge installed"), ai_tools_colors::kSuccess);
    return;
  }
  if (!settingsToolIsJumpAction(updated) || !settingsToolIsDetected(updated)) {
    banner(updated.name + QStringLiteral(" hook repaired"), ai_tools_colors::kSuccess);
    return;
  }
  openTool(updated, [this, updated](bool opened) {
    finishExternalToolOpen(opened);
    if (opened) {
      banner(QStringLiteral("Repaired and opened ") + updated.name, ai_tools_colors::kSuccess);
    } else {
      banner(QStringLiteral("Repaired ") + updated.name + QStringLiteral(", but could not open it"),
             ai_tools_colors::kWarning);
    }
  });
}

void AIToolsTab::openWithBanner(const ToolHealth& tool) {
  openTool(tool, [this, tool](bool opened) {
    finishExternalToolOpen(opened);
    if (opened) {
      banner(settingsToolOpenedStatus(tool), ai_tools_colors::kInfo);
    } else {
      banner(settingsToolOpenFailedStatus(tool), ai_tools_colors::kWarning);
    }
  });
}

void AIToolsTab::openTool(const ToolHealth& tool, std::function<void(bool opened)> done) {
  const AppLocator* locator = services_.locator;
  auto launch = appLauncherForTests ? appLauncherForTests : std::function<bool(const LaunchCommand&)>(launchDetached);
  // The plan reads the disk, a launch starts a process and the desktop's opener is watched for a
  // failure: all on the queue. A test's URL opener is called on the main thread.
  struct Outcome {
    bool launched = false;
    std::optional<QUrl> url;  // for the test's URL opener
  };
  inBackground<Outcome>(
      [tool, locator, launch, testOpensURLs = bool(externalURLOpenerForTests)]() -> Outcome {
        const ToolOpenPlan plan = toolOpenPlan(tool, *locator);
        switch (plan.kind) {
          case ToolOpenPlan::Kind::url:
            if (testOpensURLs) return {false, plan.url};
            return {openURLWithDesktop(plan.url), std::nullopt};
          case ToolOpenPlan::Kind::launch: return {launch(plan.command), std::nullopt};
          case ToolOpenPlan::Kind::nothing: break;
        }
        return {};
      },
      [this, done = std::move(done)](Outcome outcome) {
        done(outcome.launched || (outcome.url && openExternalToolURL(*outcome.url)));
      });
}

bool AIToolsTab::openURLWithDesktop(const QUrl& url) {
  // xdg-open, watched for the failure it reports when no program takes the address (QDesktopServices
  // counts any started xdg-open as opened).
  QString error;
  if (JumpOpeners::openWithDesktop(url.isLocalFile() ? url.toLocalFile() : url.toString(), &error)) {
    return true;
  }
  logWarning(QStringLiteral("could not open %1: %2").arg(url.toString(), error));
  return false;
}

void AIToolsTab::finishExternalToolOpen(bool opened) {
  if (opened && view_.showsSettings && view_.showsSettings() && view_.leaveSettings) {
    view_.leaveSettings();
  }
}

bool AIToolsTab::openExternalToolURL(const QUrl& url) {
  if (externalURLOpenerForTests) {
    return externalURLOpenerForTests(url);
  }
  return openURLWithDesktop(url);
}

void AIToolsTab::banner(const QString& text, const QColor& color) {
  if (view_.showBanner) {
    view_.showBanner(text, color);
  }
  redraw();
}

void AIToolsTab::redraw() {
  if (view_.redraw) {
    view_.redraw();
  }
}

}  // namespace tandrel
