#pragma once

#include "ai_tools/ai_tools_model.h"
#include "ai_tools/tool_confirmation_dialog.h"
#include "base/result.h"
#include "hooks/hook_manager.h"

#include <QColor>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The AI Tools tab's state and actions: the tool-health rows it shows, their throttled re-reading,
// and each row's primary action (download, repair, bridge, jump) with its confirmation, the
// installation, opening the tool and the banners. Disk work (reading health, building the
// preview, installing, finding and starting applications) runs on the queue
// "app.tandrel.ai-tools"; results come back to the main thread, where everything else runs.

namespace tandrel {

class AppLocator;
class Clock;
class SerialQueue;

class AIToolsTab final : public QObject {
  Q_OBJECT

 public:
  // Unforced refreshes re-read tool health at most this often.
  static constexpr qint64 kRefreshThrottleMs = 2000;

  // ---- Process-wide test switches (set and reset by the self-tests) ----
  // While set, health is read from it instead of the hook manager.
  static inline std::function<std::vector<ToolHealth>()> toolHealthProviderForTests;
  // While set, the install and repair confirmations are not shown: it answers for them.
  static inline std::function<bool(const ToolConfirmation&)> repairConfirmationForTests;
  // While set, it installs instead of the hook manager.
  static inline std::function<Result<void>(const QString& toolID)> hookInstallerForTests;
  // While set, web addresses and files are handed to it instead of the desktop.
  static inline std::function<bool(const QUrl&)> externalURLOpenerForTests;
  // While set, applications are handed to it instead of being started.
  static inline std::function<bool(const LaunchCommand&)> appLauncherForTests;

  // What the tab needs of the view that shows it.
  struct ViewHooks {
    std::function<void(const QString& text, const QColor& color)> showBanner;
    std::function<void()> redraw;
    // The view shows the settings panel; leaving it collapses the island.
    std::function<bool()> showsSettings;
    std::function<void()> leaveSettings;
    // The list of usage tools must be rebuilt (health changed in a way usage cares about).
    std::function<void()> usageToolsChanged;
    std::function<void()> normalizeActiveUsageTool;
    // The usage-relevant part of tool health: equal signatures, nothing to rebuild.
    std::function<QString(const std::vector<ToolHealth>&)> healthSignature;
  };

  // The outside world; every member has a default.
  struct Services {
    std::function<std::vector<ToolHealth>()> health;          // HookManager::shared().health()
    std::function<Result<QString>(const QString&)> preview;   // …installationPreview(id)
    std::function<Result<void>(const QString&)> install;      // …install(id)
    std::function<bool(const ToolConfirmation&)> confirm;     // the modal dialog
    const AppLocator* locator = nullptr;                      // AppLocator::system()
    Clock* clock = nullptr;                                   // Clock::system()
  };

  // `toolHealth` is the view's: the rows the tab and the usage meters show. The tab replaces them
  // when a refresh comes back.
  AIToolsTab(ViewHooks view, Services services, std::vector<ToolHealth>& toolHealth);
  ~AIToolsTab() override;

  const std::vector<ToolHealth>& toolHealth() const { return toolHealth_; }

  // Re-reads tool health unless `force` is false and the last read started less than 2 s ago;
  // returns whether a read started. When it has replaced the rows, `done` learns whether their
  // usage-relevant part changed (and the usage tools were then marked for a rebuild).
  bool refreshAIToolsHealth(bool force, std::function<void(bool changed)> done = {});

  // The row's primary action (settingsToolPrimaryAction).
  void performAIToolPrimaryAction(const ToolHealth& tool);
  // The primary action of the first row with this id; false when there is none.
  bool performAIToolPrimaryActionForTests(const QString& toolID);

  // Opens the tool (see toolOpenPlan); `done` learns whether something was opened.
  void openTool(const ToolHealth& tool, std::function<void(bool opened)> done);
  // After an open: leaves the settings panel when something was opened.
  void finishExternalToolOpen(bool opened);
  // Hands a web address or file to the desktop (or to the test switch, which records it). Without
  // the switch it blocks while xdg-open is watched (up to JumpOpeners::kDesktopOpenerWindow).
  bool openExternalToolURL(const QUrl& url);
  // Hands a web address or file to xdg-open; false when it reports that nothing could open it.
  // Blocks up to JumpOpeners::kDesktopOpenerWindow: call it from a worker thread.
  static bool openURLWithDesktop(const QUrl& url);

  // An install or repair of this tool is under way.
  bool isInstalling(const QString& toolID) const { return installing_.contains(toolID); }

 private:
  void confirmAndInstall(const ToolHealth& tool, SettingsToolPrimaryAction action);
  void install(const ToolHealth& tool, SettingsToolPrimaryAction action);
  void finishInstall(const ToolHealth& tool, SettingsToolPrimaryAction action);
  void openWithBanner(const ToolHealth& tool);
  void banner(const QString& text, const QColor& color);
  void redraw();
  // Runs `work` on the queue, then `then` with its result on the main thread while this tab exists.
  template <typename T>
  void inBackground(std::function<T()> work, std::function<void(T)> then);

  ViewHooks view_;
  Services services_;
  std::vector<ToolHealth>& toolHealth_;
  std::optional<qint64> lastAIToolsHealthRefreshAt_;
  QSet<QString> installing_;
  std::unique_ptr<SerialQueue> queue_;
};

}  // namespace tandrel
