#include "selfcheck/functional/companion_preview_functional_tests.h"

#include "attention/companion_status.h"
#include "companion/companion_layout.h"
#include "companion/companion_view.h"
#include "platform/user_defaults.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/jump_check_support.h"
#include "selfcheck/harness.h"
#include "ui/settings_model.h"

#include <QJsonObject>

#include <optional>
#include <vector>

namespace tandrel {

namespace {

QJsonObject withWorkspace(QJsonObject extra, const QString& workspace) {
  extra.insert(QStringLiteral("cwd"), workspace);
  return extra;
}

// The event ids of the items a click at the middle of the companion's drawn label opened.
std::vector<QString> clickedOnLabel(EventStore& store, const QString& tempRoot, const CompanionStatusItem& item) {
  UserDefaults defaults(scratchPath(tempRoot, QStringLiteral("companion-preview-defaults.json")));
  SettingsModel settings(defaults);
  TandrelCompanionView view(store, settings, true);
  view.setGeometry(QRect(QPoint(), companion::companionSize(CompanionDisplayMode::bubble, 1).toSize()));
  view.statusProvider = [item] { return std::optional(item); };
  std::vector<QString> opened;
  view.actions.openStatus = [&](const CompanionStatusItem& clicked) { opened.push_back(clicked.event.id); };
  view.renderImage();  // the label's click area is where it was last drawn
  const QPointF onLabel = view.labelHitRect().center();
  view.pointerPressed(onLabel);
  view.pointerReleased(onLabel);
  view.prepareForTermination();
  return opened;
}

}  // namespace

bool companionPreviewAndJumpFunctionalTest(const QString& tempRoot) {
  const std::optional<CheckFiles> files =
      prepareCheckFiles(tempRoot, QStringLiteral("companion-preview"), QStringLiteral("companion-preview-workspace"));
  if (!files) return false;
  const QString& w = files->workspace;
  const auto ofType = [&w](const char* type, const char* session) {
    return withWorkspace({{QStringLiteral("source_type"), QString::fromLatin1(type)},
                          {QStringLiteral("session_id"), QString::fromLatin1(session)}},
                         w);
  };
  const std::vector<QJsonObject> records{
      jumpRecord(QStringLiteral("companion-preview-jump"), QStringLiteral("codex"), QStringLiteral("Codex completed"),
                 QStringLiteral("Implementation summary"), QStringLiteral("2026-05-11T12:11:00Z"),
                 withWorkspace({{QStringLiteral("session_id"), QStringLiteral("companion-preview-session")},
                                {QStringLiteral("preview"),
                                 QJsonObject{{QStringLiteral("user"), QStringLiteral("Finish the Jump quality resolver")},
                                             {QStringLiteral("agent"),
                                              QStringLiteral("Implemented exact/session/workspace Jump paths.")}}}},
                               w)),
      jumpRecord(QStringLiteral("companion-cmux-label-jump"), QStringLiteral("cmux"), QStringLiteral("cmux completed"),
                 QStringLiteral("Ready in cmux"), QStringLiteral("2026-05-11T12:10:01Z"),
                 withWorkspace({{QStringLiteral("session_id"), QStringLiteral("companion-cmux-session")},
                                {QStringLiteral("jump_target"), typedTarget({{QStringLiteral("kind"), QStringLiteral("cmux")},
                                                                             {QStringLiteral("sessionId"), QStringLiteral("companion-cmux-session")},
                                                                             {QStringLiteral("windowId"), QStringLiteral("main")},
                                                                             {QStringLiteral("cwd"), w}})}},
                               w)),
      jumpRecord(QStringLiteral("companion-iterm-label-jump"), QStringLiteral("claude_code"),
                 QStringLiteral("Claude completed in iTerm"), QStringLiteral("Ready in iTerm"),
                 QStringLiteral("2026-05-11T12:10:02Z"),
                 withWorkspace({{QStringLiteral("session_id"), QStringLiteral("companion-iterm-session")},
                                {QStringLiteral("jump_target"),
                                 typedTarget({{QStringLiteral("kind"), QStringLiteral("iterm2")},
                                              {QStringLiteral("terminal"), QStringLiteral("iTerm2")},
                                              {QStringLiteral("sessionId"), QStringLiteral("w0t0p0:COMPANION-ITERM-SESSION")},
                                              {QStringLiteral("cwd"), w}})}},
                               w)),
      jumpRecord(QStringLiteral("companion-cursor-label-jump"), QStringLiteral("cursor-ide"), QStringLiteral("Cursor completed"),
                 QStringLiteral("Ready in Cursor"), QStringLiteral("2026-05-11T12:10:03Z"),
                 ofType("ide", "companion-cursor-session")),
      jumpRecord(QStringLiteral("companion-claude-label-jump"), QStringLiteral("claude-app"),
                 QStringLiteral("Claude App completed"), QStringLiteral("Ready in Claude"),
                 QStringLiteral("2026-05-11T12:10:04Z"), ofType("app", "companion-claude-app-session")),
      jumpRecord(QStringLiteral("companion-codex-app-label-jump"), QStringLiteral("codex-app"),
                 QStringLiteral("Codex App completed"), QStringLiteral("Ready in Codex"),
                 QStringLiteral("2026-05-11T12:10:05Z"), ofType("app", "companion-codex-app-session")),
  };
  if (!writeJSONLines(records, files->eventFile)) return false;

  const RecordingJumpOpener recorder([](const JumpTarget&) { return true; });
  // The machine's cmux, iTerm2, Cursor and desktop apps are stood in for by lists, the cmux
  // session among them, so that the routes do not depend on what this machine has installed.
  const auto commands = [](const QString& name) { return name == u"codex" || name == u"cmux" || name.endsWith(u"/cmux"); };
  JumpResolver resolver = listedJumpResolver(
      commands,
      onlyFor({QStringLiteral("/Applications/cmux.app"), QStringLiteral("/Applications/iTerm.app"),
               QStringLiteral("/Applications/Cursor.app"), QStringLiteral("/Applications/Claude.app"),
               QStringLiteral("/Applications/Codex.app")}),
      onlyFor({QStringLiteral("com.cmuxterm.app"), QStringLiteral("com.googlecode.iterm2"),
               QStringLiteral("com.todesktop.230313mzl4w4u92"), QStringLiteral("com.anthropic.claudefordesktop"),
               QStringLiteral("com.openai.codex")}),
      onlyFor({QStringLiteral("companion-cmux-session")}));
  const std::unique_ptr<EventStore> store = loadedCheckStore(*files, std::move(resolver), recorder.opener());

  std::vector<IslandMessage> messages;
  for (const QJsonObject& record : records) {
    std::optional<IslandMessage> message = messageWithID(*store, record.value(QStringLiteral("event_id")).toString());
    if (!message) return false;
    messages.push_back(std::move(*message));
  }
  const std::optional<CompanionStatusItem> status = store->companionStatus();
  if (!status || status->event.id != u"companion-preview-jump") return false;
  bool opened = store->openCompanionStatus(*status);

  const char* labels[] = {"Ready in cmux", "Ready in iTerm", "Ready in Cursor", "Ready in Claude", "Ready in Codex"};
  std::vector<CompanionStatusItem> items;
  for (size_t i = 1; i < messages.size(); ++i) {
    items.push_back({CompanionStatusKind::finished, QString::fromLatin1(labels[i - 1]), messages[i].event});
  }
  const bool clickedCmux = clickedOnLabel(*store, tempRoot, items[0]) ==
                           std::vector<QString>{QStringLiteral("companion-cmux-label-jump")};
  for (const CompanionStatusItem& item : items) opened = store->openCompanionStatus(item) && opened;

  const std::nullopt_t none = std::nullopt;
  const std::vector<JumpTarget> expected{
      JumpTarget::cli(QStringLiteral("codex"), {}, w),
      JumpTarget::cmux(QStringLiteral("companion-cmux-session"), QStringLiteral("main"), w),
      JumpTarget::terminalWindow(QStringLiteral("iTerm2"), none, none, QStringLiteral("w0t0p0:COMPANION-ITERM-SESSION"), w),
      JumpTarget::terminalCwd(w, QStringLiteral("com.todesktop.230313mzl4w4u92")),
      JumpTarget::app(QStringLiteral("com.anthropic.claudefordesktop"), QStringLiteral("/Applications/Claude.app"), none),
      JumpTarget::app(QStringLiteral("com.openai.codex"), QStringLiteral("/Applications/Codex.app"), none),
  };
  return messages[0].preview.user == u"Finish the Jump quality resolver" && status->label == messages[0].preview.user &&
         opened && clickedCmux && recorder.targets() == expected;
}

}  // namespace tandrel
