#include "hooks/codex_config.h"

#include "hooks/hook_entries.h"
#include "hooks/toml_check.h"
#include "hooks/toml_outline.h"

#include <QCryptographicHash>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace tandrel {

namespace {

const QString kNotifyBridgeName = QStringLiteral("tandrel-codex-notify");
const QString kFeatures = QStringLiteral("features");

// One replacement of the text between two offsets.
struct Edit {
  qsizetype begin;
  qsizetype end;
  QString text;
};

QString applyEdits(QString text, std::vector<Edit> edits) {
  std::sort(edits.begin(), edits.end(),
            [](const Edit& a, const Edit& b) { return a.begin > b.begin; });
  for (const Edit& edit : edits) {
    text.replace(edit.begin, edit.end - edit.begin, edit.text);
  }
  return text;
}

// Removes a statement with its line break.
Edit deletion(const QString& text, const TomlStatement& statement) {
  qsizetype end = statement.end;
  if (end < text.size() && text[end] == u'\r') {
    ++end;
  }
  if (end < text.size() && text[end] == u'\n') {
    ++end;
  }
  return {statement.begin, end, QString()};
}

QString refusal(const QString& reason) {
  return QStringLiteral("config.toml cannot be changed safely: %1; nothing was changed").arg(reason);
}

// The outline of a text that a complete TOML parser accepts too.
Result<std::vector<TomlStatement>> checkedOutline(const QString& config) {
  auto statements = outlineToml(config);
  if (!statements) {
    return statements;
  }
  if (auto checked = checkToml(config); !checked) {
    return Result<std::vector<TomlStatement>>::failure(checked.error());
  }
  return statements;
}

Result<std::vector<TomlStatement>> outline(const QString& config) {
  auto statements = outlineToml(config);
  if (!statements) {
    return Result<std::vector<TomlStatement>>::failure(refusal(statements.error()));
  }
  return statements;
}

bool startsWithKey(const QStringList& key, const QStringList& prefix) {
  return key.size() >= prefix.size() && key.mid(0, prefix.size()) == prefix;
}

// The root `notify` statement, or nullptr; an error when there are two or `notify` is a table.
Result<const TomlStatement*> rootNotify(const std::vector<TomlStatement>& statements) {
  const QStringList notifyKey{QStringLiteral("notify")};
  const TomlStatement* found = nullptr;
  for (const TomlStatement& statement : statements) {
    const QStringList key = statement.fullKey();
    if (startsWithKey(key, notifyKey) && (statement.isHeader() || key.size() > 1)) {
      return Result<const TomlStatement*>::failure(
          refusal(QStringLiteral("notify is a table, not a list of strings")));
    }
    if (statement.kind == TomlStatement::Kind::KeyValue && key == notifyKey) {
      if (found != nullptr) {
        return Result<const TomlStatement*>::failure(refusal(QStringLiteral("it sets notify twice")));
      }
      found = &statement;
    }
  }
  return found;
}

// Whether a notify statement runs our bridge, judged from its decoded strings: a mention in a
// comment or an escaped spelling of something else does not count.
bool namesOurBridge(const TomlStatement* notify) {
  if (notify == nullptr || !notify->arrayStrings) {
    return false;
  }
  const QStringList& strings = *notify->arrayStrings;
  return std::any_of(strings.begin(), strings.end(),
                     [](const QString& s) { return s.contains(kNotifyBridgeName); });
}

// The line break the file uses, for the lines we add.
QString lineBreakOf(const QString& text) {
  return text.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
}

}  // namespace

Result<QString> ensureCodexHooksFeature(const QString& config) {
  auto parsed = outline(config);
  if (!parsed) {
    return Result<QString>::failure(parsed.error());
  }
  const std::vector<TomlStatement>& statements = parsed.value();
  const QStringList features{kFeatures};
  const QStringList hooksKey{kFeatures, QStringLiteral("hooks")};
  const QStringList oldKey{kFeatures, QStringLiteral("codex_hooks")};

  const TomlStatement* header = nullptr;
  for (const TomlStatement& statement : statements) {
    const QStringList key = statement.fullKey();
    if (statement.kind == TomlStatement::Kind::Table && key == features) {
      if (header != nullptr) {
        return Result<QString>::failure(refusal(QStringLiteral("it has two [features] tables")));
      }
      header = &statement;
    }
    if (key == features && statement.kind != TomlStatement::Kind::Table) {
      return Result<QString>::failure(
          refusal(QStringLiteral("features is not written as a [features] table")));
    }
    if ((statement.isHeader() || key.size() > 2) && startsWithKey(key, hooksKey)) {
      return Result<QString>::failure(refusal(QStringLiteral("features.hooks is a table")));
    }
  }

  const QString eol = lineBreakOf(config);
  std::vector<Edit> edits;
  const TomlStatement* hooksLine = nullptr;
  const TomlStatement* lastFeatureLine = header;
  for (const TomlStatement& statement : statements) {
    if (statement.kind != TomlStatement::Kind::KeyValue ||
        !startsWithKey(statement.fullKey(), features)) {
      continue;
    }
    const QStringList key = statement.fullKey();
    if (key == oldKey) {
      edits.push_back(deletion(config, statement));
    } else if (key == hooksKey && hooksLine == nullptr) {
      hooksLine = &statement;
    }
    if (statement.table.isEmpty()) {
      lastFeatureLine = &statement;  // dotted `features.` keys at the root
    }
  }
  // Under a header the key is written "hooks"; at the root as the dotted "features.hooks".
  const bool underHeader = header != nullptr;
  const QString line = underHeader ? QStringLiteral("hooks = true")
                                   : QStringLiteral("features.hooks = true");
  if (hooksLine != nullptr) {
    const QString keyText = hooksLine->table.isEmpty() ? QStringLiteral("features.hooks = true")
                                                       : QStringLiteral("hooks = true");
    edits.push_back({hooksLine->begin, hooksLine->end, keyText});
  } else if (lastFeatureLine != nullptr) {
    const TomlStatement* after = underHeader ? header : lastFeatureLine;
    edits.push_back({after->end, after->end, eol + line});
  } else {
    QString text = config;
    if (!text.isEmpty() && !text.endsWith(u'\n')) {
      text += eol;
    }
    if (!text.trimmed().isEmpty()) {
      text += eol;
    }
    return text + QStringLiteral("[features]") + eol + QStringLiteral("hooks = true") + eol;
  }
  return applyEdits(config, std::move(edits));
}

Result<QString> plannedCodexConfigText(const QString& config, const QString& notifyPath) {
  auto parsed = checkedOutline(config);
  if (!parsed) {
    return Result<QString>::failure(refusal(parsed.error()));
  }
  auto notify = rootNotify(parsed.value());
  if (!notify) {
    return Result<QString>::failure(notify.error());
  }
  const QString notifyLine = QStringLiteral("notify = [%1]").arg(tomlBasicString(notifyPath));
  QString text = config;
  if (const TomlStatement* statement = notify.value()) {
    if (!namesOurBridge(statement)) {
      text = applyEdits(config, {{statement->begin, statement->end, notifyLine}});
    }
  } else {
    // Before any table, so that the key stays at the root.
    const QString eol = lineBreakOf(config);
    text = notifyLine + eol + eol + config;
  }
  auto result = ensureCodexHooksFeature(text);
  if (result && !checkedOutline(result.value())) {
    return Result<QString>::failure(refusal(QStringLiteral("the edit would not be valid TOML")));
  }
  return result;
}

Result<bool> codexNotifyInstalled(const QString& config) {
  auto parsed = checkedOutline(config);
  if (!parsed) {
    return Result<bool>::failure(parsed.error());
  }
  auto notify = rootNotify(parsed.value());
  return notify && namesOurBridge(notify.value());
}

std::optional<QStringList> codexNotifyChain(const QString& config) {
  auto parsed = outlineToml(config);
  if (!parsed) {
    return std::nullopt;
  }
  auto notify = rootNotify(parsed.value());
  if (!notify || notify.value() == nullptr || !notify.value()->arrayStrings ||
      notify.value()->arrayStrings->isEmpty() || namesOurBridge(notify.value())) {
    return std::nullopt;
  }
  return *notify.value()->arrayStrings;
}

bool tomlFeatureFlagEnabled(const QString& config, const QString& section, const QString& key) {
  auto parsed = outlineToml(config);
  if (!parsed) {
    return false;
  }
  for (const TomlStatement& statement : parsed.value()) {
    if (statement.kind == TomlStatement::Kind::KeyValue &&
        statement.fullKey() == QStringList{section, key}) {
      return config.mid(statement.valueBegin, statement.valueEnd - statement.valueBegin) ==
             QLatin1String("true");
    }
  }
  return false;
}

namespace {

struct HookRow {
  const char* event;
  bool matchAll;
  bool gate;
  bool runsAsync;
};

// Our entries, in the order they are added.
constexpr HookRow kCodexRows[] = {
    {"PermissionRequest", true, false, false},
    {"UserPromptSubmit", false, false, true},
    {"Stop", false, false, true},
    {"PermissionRequest", true, true, false},
    {"Stop", false, true, false},
};

const QString kWriterArguments = QStringLiteral(" --source codex");

// The script a row runs and the words after it that make a handler ours.
std::pair<QString, QString> rowScript(const HookRow& row, const CodexHookCommands& commands) {
  return row.gate ? std::make_pair(commands.codexHookPath, QString())
                  : std::make_pair(commands.eventCommandPath, kWriterArguments);
}

}  // namespace

Result<QString> plannedCodexHooksText(const QString& file, const CodexHookCommands& commands) {
  std::vector<HookEntryPlan> plans;
  for (const HookRow& row : kCodexRows) {
    const QString event = QString::fromLatin1(row.event);
    QJsonObject handler{{QStringLiteral("type"), QStringLiteral("command")}};
    if (row.gate) {
      handler.insert(QStringLiteral("command"),
                     shellWord(commands.codexHookPath) + QStringLiteral(" --event ") + event);
      handler.insert(QStringLiteral("timeout"), kGateTimeoutSeconds);
      handler.insert(QStringLiteral("statusMessage"), QStringLiteral("Tandrel approval gate"));
    } else {
      handler.insert(QStringLiteral("command"), shellWord(commands.eventCommandPath) + kWriterArguments);
      handler.insert(QStringLiteral("timeout"), 2);
      handler.insert(QStringLiteral("statusMessage"), QStringLiteral("Notify Tandrel"));
      if (row.runsAsync) {
        handler.insert(QStringLiteral("async"), true);
      }
    }
    const auto [script, arguments] = rowScript(row, commands);
    plans.push_back({event, row.matchAll, script, arguments, handler, std::nullopt});
  }
  return plannedHookEntriesText(file, plans);
}

std::vector<CodexHookHandler> ourCodexHookHandlers(const QJsonObject& file,
                                                   const CodexHookCommands& commands) {
  const QJsonObject hooks = file.value(QStringLiteral("hooks")).toObject();
  std::vector<CodexHookHandler> out;
  for (auto it = hooks.begin(); it != hooks.end(); ++it) {
    const QJsonArray entries = it.value().toArray();
    for (int i = 0; i < entries.size(); ++i) {
      const QJsonArray handlers = entries.at(i).toObject().value(QStringLiteral("hooks")).toArray();
      for (int j = 0; j < handlers.size(); ++j) {
        const QString command = handlers.at(j).toObject().value(QStringLiteral("command")).toString();
        if (commandRunsScript(command, commands.eventCommandPath, kWriterArguments, true) ||
            commandRunsScript(command, commands.codexHookPath, QString(), true)) {
          out.push_back({it.key(), i, j});
        }
      }
    }
  }
  return out;
}

bool codexHooksInstalled(const QJsonObject& file, const CodexHookCommands& commands) {
  const QJsonObject hooks = file.value(QStringLiteral("hooks")).toObject();
  return std::all_of(std::begin(kCodexRows), std::end(kCodexRows), [&](const HookRow& row) {
    const auto [script, arguments] = rowScript(row, commands);
    return findOurHandler(hooks, QString::fromLatin1(row.event), script, arguments, false).has_value();
  });
}

namespace {

// "PermissionRequest" -> "permission_request".
QString snakeCase(const QString& name) {
  QString out;
  for (qsizetype i = 0; i < name.size(); ++i) {
    const QChar c = name[i];
    if (c.isUpper()) {
      if (i > 0) {
        out += u'_';
      }
      out += c.toLower();
    } else {
      out += c;
    }
  }
  return out;
}

bool onlyKeys(const QJsonObject& object, std::initializer_list<QLatin1String> keys) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (std::none_of(keys.begin(), keys.end(),
                     [&](QLatin1String key) { return it.key() == key; })) {
      return false;
    }
  }
  return true;
}

bool isWholeNumber(const QJsonValue& value) {
  return value.isDouble() && value.toDouble() == double(value.toInteger());
}

// The text of a TOML string value as written ("…" or '…'), without its quotes; hashes hold no
// escapes.
QString tomlPlainString(QStringView written) {
  written = written.trimmed();
  if (written.size() >= 2 && (written.front() == u'"' || written.front() == u'\'') &&
      written.back() == written.front()) {
    return written.mid(1, written.size() - 2).toString();
  }
  return {};
}

}  // namespace

QString codexHookTrustKey(const QString& hooksPath, const CodexHookHandler& handler) {
  return QStringLiteral("%1:%2:%3:%4")
      .arg(hooksPath, snakeCase(handler.event))
      .arg(handler.entry)
      .arg(handler.handler);
}

std::optional<QString> codexHookTrustHash(const QJsonObject& file, const CodexHookHandler& handler) {
  const QJsonObject entry = file.value(QStringLiteral("hooks"))
                                .toObject()
                                .value(handler.event)
                                .toArray()
                                .at(handler.entry)
                                .toObject();
  QJsonObject hook = entry.value(QStringLiteral("hooks")).toArray().at(handler.handler).toObject();
  const QJsonValue matcher = entry.value(QStringLiteral("matcher"));
  const bool knownEntry = onlyKeys(entry, {QLatin1String("hooks"), QLatin1String("matcher")}) &&
                          (matcher.isUndefined() || matcher.isString());
  const bool knownHook =
      onlyKeys(hook, {QLatin1String("type"), QLatin1String("command"), QLatin1String("timeout"),
                      QLatin1String("statusMessage"), QLatin1String("async")}) &&
      hook.value(QStringLiteral("type")).isString() &&
      hook.value(QStringLiteral("command")).isString() &&
      isWholeNumber(hook.value(QStringLiteral("timeout"))) &&
      hook.value(QStringLiteral("statusMessage")).isString() &&
      (!hook.contains(QStringLiteral("async")) || hook.value(QStringLiteral("async")).isBool());
  if (!knownEntry || !knownHook) {
    return std::nullopt;
  }
  if (!hook.contains(QStringLiteral("async"))) {
    hook.insert(QStringLiteral("async"), false);
  }
  hook.insert(QStringLiteral("timeout"), hook.value(QStringLiteral("timeout")).toInteger());
  QJsonObject record{{QStringLiteral("event_name"), snakeCase(handler.event)},
                     {QStringLiteral("hooks"), QJsonArray{hook}}};
  if (matcher.isString()) {
    record.insert(QStringLiteral("matcher"), matcher);
  }
  // Qt's compact form sorts the keys and escapes only what JSON requires, as Codex's writer does.
  const QByteArray json = QJsonDocument(record).toJson(QJsonDocument::Compact);
  return QStringLiteral("sha256:") +
         QString::fromLatin1(QCryptographicHash::hash(json, QCryptographicHash::Sha256).toHex());
}

bool codexHooksTrusted(const QString& config, const QString& hooksPath, const QJsonObject& file,
                       const std::vector<CodexHookHandler>& handlers) {
  auto parsed = outlineToml(config);
  if (!parsed) {
    return false;
  }
  // Trust key -> recorded hash (empty when the table has none).
  QHash<QString, QString> recorded;
  for (const TomlStatement& statement : parsed.value()) {
    const QStringList key = statement.fullKey();
    if (key.size() < 3 || key[0] != QLatin1String("hooks") || key[1] != QLatin1String("state")) {
      continue;
    }
    QString& hash = recorded[key[2]];
    if (statement.kind == TomlStatement::Kind::KeyValue && key.size() == 4 &&
        key[3] == QLatin1String("trusted_hash")) {
      hash = tomlPlainString(
          QStringView(config).mid(statement.valueBegin, statement.valueEnd - statement.valueBegin));
    }
  }
  return std::all_of(handlers.begin(), handlers.end(), [&](const CodexHookHandler& handler) {
    const auto found = recorded.constFind(codexHookTrustKey(hooksPath, handler));
    if (found == recorded.constEnd()) {
      return false;
    }
    const std::optional<QString> hash = codexHookTrustHash(file, handler);
    return !hash || *hash == found.value();
  });
}

}  // namespace tandrel
