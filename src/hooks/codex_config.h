#pragma once

#include "base/result.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Codex's two files: the TOML configuration (`notify` and the hooks feature) and the JSON hooks
// file. Pure functions over texts; the hook manager reads and writes the files.

namespace tandrel {

// The blocking gate may wait this long (seconds). The client waits a little less for the app's
// answer, and the app answers when the request's own time-out runs out.
inline constexpr int kGateTimeoutSeconds = 125;

// The edit of config.toml: `notify` names our notify bridge (a notify of the user's is kept in
// the chain file first) and `[features]` turns `hooks` on. Only the statements that must change
// are rewritten; every other byte stays. A file the editor cannot change safely (not valid TOML,
// two `notify` keys or `[features]` tables, `features` as an inline table, `notify` or
// `features.hooks` as a table) gives an error and no text, and so does an edit that a complete
// TOML parser would reject. `notifyPath` is the bridge script's path.
Result<QString> plannedCodexConfigText(const QString& config, const QString& notifyPath);

// Turns the hooks feature on (see above): `hooks = true` in the `[features]` table (the
// deprecated `codex_hooks` key goes), or `features.hooks = true` where the file uses dotted
// `features.` keys at its root, or a new `[features]` table at the end.
Result<QString> ensureCodexHooksFeature(const QString& config);

// Whether the root `notify` array runs our bridge, judged from its decoded strings (a commented-out
// entry is no entry); an error ("it is not valid TOML at line N…") for a text Codex cannot load.
Result<bool> codexNotifyInstalled(const QString& config);

// The strings of the root `notify` array, when it is one that holds strings and does not name
// our bridge ("tandrel-codex-notify"): the command to keep running after ours.
std::optional<QStringList> codexNotifyChain(const QString& config);

// Whether `key` of the table `section` is set to true ("[features]\nhooks = true" or
// "features.hooks = true"). False for a text that is not valid TOML.
bool tomlFeatureFlagEnabled(const QString& config, const QString& section, const QString& key);

// The scripts the hooks file runs.
struct CodexHookCommands {
  QString eventCommandPath;  // tandrel-event
  QString codexHookPath;     // tandrel-hook-codex
};

// Adds our entries to a hooks file's text: the event writer on "PermissionRequest" (matcher
// "*"), "UserPromptSubmit" and "Stop" (both asynchronous), and the approval gate on
// "PermissionRequest" and "Stop". An entry that already runs the same script stays as it is (a
// bare script path that needs quotes gets them), so that Codex's trust of it holds. Foreign
// entries and keys stay as written, before ours; see `plannedHookEntriesText` for what cannot be
// edited safely.
Result<QString> plannedCodexHooksText(const QString& file, const CodexHookCommands& commands);

// One of our hook handlers in a hooks file: event name, index of the entry in the event's array
// and index of the handler in the entry's `hooks` array.
struct CodexHookHandler {
  QString event;
  int entry = 0;
  int handler = 0;
};
// Our handlers in a hooks file, in file order.
std::vector<CodexHookHandler> ourCodexHookHandlers(const QJsonObject& file,
                                                   const CodexHookCommands& commands);
// True when the hooks file holds our writer on the three events and our gate on
// "PermissionRequest" and "Stop".
bool codexHooksInstalled(const QJsonObject& file, const CodexHookCommands& commands);

// The name of the table in which Codex records the user's trust of a handler:
// "<hooks file path>:<event in snake_case>:<entry>:<handler>" ("PermissionRequest" is
// "permission_request").
QString codexHookTrustKey(const QString& hooksPath, const CodexHookHandler& handler);
// The `trusted_hash` Codex records for a handler as it stands in the hooks file now:
// "sha256:" and the SHA-256 of the compact JSON, keys sorted, of {"event_name": <snake_case
// event>, "hooks": [<the handler, "async" false when absent>], "matcher": <the entry's matcher,
// left out when absent>}. Nothing for a handler or entry with keys or value types beyond the ones
// we write, whose form in Codex's record is not known.
std::optional<QString> codexHookTrustHash(const QJsonObject& file, const CodexHookHandler& handler);
// True when config.toml records the user's trust for every handler, as Codex keeps it: a table
// `[hooks.state."<trust key>"]` whose `trusted_hash` is the handler's hash now. A handler changed
// since it was trusted has another hash, and Codex skips it until it is trusted again. Where the
// hash cannot be known, the table alone counts.
bool codexHooksTrusted(const QString& config, const QString& hooksPath, const QJsonObject& file,
                       const std::vector<CodexHookHandler>& handlers);

}  // namespace tandrel
