#include "hooks/codex_config.h"

#include "hooks/toml_check.h"
#include "hooks/toml_outline.h"

#include <QJsonArray>
#include <QSet>

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

QString rowNeedle(const HookRow& row, const CodexHookCommands& commands) {
  return row.gate ? commands.codexHookPath
                  : commands.eventCommandPath + QStringLiteral(" --source codex");
}

// The handler objects of an event's entries, with their positions.
template <typename Visit>
void forEachHandler(const QJsonObject& hooks, const QString& event, Visit visit) {
  const QJsonArray entries = hooks.value(event).toArray();
  for (int i = 0; i < entries.size(); ++i) {
    const QJsonArray handlers = entries.at(i).toObject().value(QStringLiteral("hooks")).toArray();
    for (int j = 0; j < handlers.size(); ++j) {
      visit(i, j, handlers.at(j).toObject().value(QStringLiteral("command")).toString());
    }
  }
}

bool eventRuns(const QJsonObject& hooks, const QString& event, const QString& needle) {
  bool found = false;
  forEachHandler(hooks, event, [&](int, int, const QString& command) {
    found = found || command.contains(needle);
  });
  return found;
}

}  // namespace

QJsonObject plannedCodexHooksObject(QJsonObject file, const CodexHookCommands& commands) {
  QJsonObject hooks = file.value(QStringLiteral("hooks")).toObject();
  for (const HookRow& row : kCodexRows) {
    const QString event = QString::fromLatin1(row.event);
    // Entries that are not objects cannot be hook entries; an array of anything else is replaced.
    QJsonArray entries;
    const QJsonValue current = hooks.value(event);
    if (current.isArray()) {
      const QJsonArray array = current.toArray();
      if (std::all_of(array.begin(), array.end(), [](const QJsonValue& v) { return v.isObject(); })) {
        entries = array;
      }
    }
    QJsonObject probe;
    probe.insert(event, entries);
    if (eventRuns(probe, event, rowNeedle(row, commands))) {
      continue;
    }
    QJsonObject handler{{QStringLiteral("type"), QStringLiteral("command")}};
    if (row.gate) {
      handler.insert(QStringLiteral("command"),
                     commands.codexHookPath + QStringLiteral(" --event ") + event);
      handler.insert(QStringLiteral("timeout"), kGateTimeoutSeconds);
      handler.insert(QStringLiteral("statusMessage"), QStringLiteral("Tandrel approval gate"));
    } else {
      handler.insert(QStringLiteral("command"),
                     commands.eventCommandPath + QStringLiteral(" --source codex"));
      handler.insert(QStringLiteral("timeout"), 2);
      handler.insert(QStringLiteral("statusMessage"), QStringLiteral("Notify Tandrel"));
      if (row.runsAsync) {
        handler.insert(QStringLiteral("async"), true);
      }
    }
    QJsonObject entry{{QStringLiteral("hooks"), QJsonArray{handler}}};
    if (row.matchAll) {
      entry.insert(QStringLiteral("matcher"), QStringLiteral("*"));
    }
    entries.append(entry);
    hooks.insert(event, entries);
  }
  file.insert(QStringLiteral("hooks"), hooks);
  return file;
}

std::vector<CodexHookHandler> ourCodexHookHandlers(const QJsonObject& file,
                                                   const CodexHookCommands& commands) {
  const QJsonObject hooks = file.value(QStringLiteral("hooks")).toObject();
  const QString writer = commands.eventCommandPath + QStringLiteral(" --source codex");
  std::vector<CodexHookHandler> out;
  for (auto it = hooks.begin(); it != hooks.end(); ++it) {
    forEachHandler(hooks, it.key(), [&](int i, int j, const QString& command) {
      if (command.contains(writer) || command.contains(commands.codexHookPath)) {
        out.push_back({it.key(), i, j});
      }
    });
  }
  return out;
}

bool codexHooksInstalled(const QJsonObject& file, const CodexHookCommands& commands) {
  const QJsonObject hooks = file.value(QStringLiteral("hooks")).toObject();
  return std::all_of(std::begin(kCodexRows), std::end(kCodexRows), [&](const HookRow& row) {
    return eventRuns(hooks, QString::fromLatin1(row.event), rowNeedle(row, commands));
  });
}

bool codexHooksTrusted(const QString& config, const QString& hooksPath,
                       const std::vector<CodexHookHandler>& handlers) {
  auto parsed = outlineToml(config);
  if (!parsed) {
    return false;
  }
  QSet<QString> trusted;
  for (const TomlStatement& statement : parsed.value()) {
    const QStringList key = statement.fullKey();
    if (key.size() >= 3 && key[0] == QLatin1String("hooks") &&
        key[1] == QLatin1String("state")) {
      trusted.insert(key[2]);
    }
  }
  return std::all_of(handlers.begin(), handlers.end(), [&](const CodexHookHandler& handler) {
    return trusted.contains(QStringLiteral("%1:%2:%3:%4")
                                .arg(hooksPath, handler.event)
                                .arg(handler.entry)
                                .arg(handler.handler));
  });
}

}  // namespace tandrel
