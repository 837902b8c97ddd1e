#include "hooks/hook_entries.h"

#include "hooks/json_outline.h"
#include "jump/jump_openers.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace tandrel {

namespace {

const QString kHooks = QStringLiteral("hooks");
const QString kCommand = QStringLiteral("command");

bool isPlainShellCharacter(QChar c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         QStringView(u"_@%+=:,./-").contains(c);
}

}  // namespace

QString shellWord(const QString& path) {
  if (!path.isEmpty() && std::all_of(path.begin(), path.end(), isPlainShellCharacter)) {
    return path;
  }
  return JumpOpeners::shellQuote(path);
}

bool commandRunsScript(const QString& command, const QString& script, const QString& arguments,
                       bool orUnquoted) {
  return command.contains(shellWord(script) + arguments) ||
         (orUnquoted && command.contains(script + arguments));
}

std::optional<std::pair<int, int>> findOurHandler(const QJsonObject& hooks, const QString& event,
                                                  const QString& script, const QString& arguments,
                                                  bool orUnquoted) {
  const QJsonArray entries = hooks.value(event).toArray();
  for (int i = 0; i < entries.size(); ++i) {
    const QJsonArray handlers = entries.at(i).toObject().value(kHooks).toArray();
    for (int j = 0; j < handlers.size(); ++j) {
      const QJsonValue command = handlers.at(j).toObject().value(kCommand);
      if (command.isString() && commandRunsScript(command.toString(), script, arguments, orUnquoted)) {
        return std::make_pair(i, j);
      }
    }
  }
  return std::nullopt;
}

Result<QString> plannedHookEntriesText(const QString& text, const std::vector<HookEntryPlan>& plans) {
  JsonTextEditor editor(text);
  const auto fail = [](const QString& reason) { return Result<QString>::failure(reason); };
  for (const HookEntryPlan& plan : plans) {
    const QJsonObject root = QJsonDocument::fromJson(editor.text().toUtf8()).object();
    QJsonObject entry{{kHooks, QJsonArray{plan.handler}}};
    if (plan.matchAll) {
      entry.insert(QStringLiteral("matcher"), QStringLiteral("*"));
    }
    const QJsonValue hooksValue = root.value(kHooks);
    Result<void> edited;
    if (hooksValue.isUndefined()) {
      edited = editor.setMember({}, kHooks, QJsonObject{{plan.event, QJsonArray{entry}}});
    } else if (!hooksValue.isObject()) {
      return fail(QStringLiteral("\"hooks\" is not an object of hook events"));
    } else if (const QJsonValue eventValue = hooksValue.toObject().value(plan.event); eventValue.isUndefined()) {
      edited = editor.setMember({kHooks}, plan.event, QJsonArray{entry});
    } else if (!eventValue.isArray()) {
      return fail(QStringLiteral("hooks.%1 is not a list of hook entries").arg(plan.event));
    } else if (const auto at = findOurHandler(hooksValue.toObject(), plan.event, plan.script, plan.arguments, true)) {
      const JsonPath handlerPath{kHooks, plan.event, at->first, kHooks, at->second};
      const QJsonObject handler = eventValue.toArray()
                                      .at(at->first)
                                      .toObject()
                                      .value(kHooks)
                                      .toArray()
                                      .at(at->second)
                                      .toObject();
      const QString command = handler.value(kCommand).toString();
      if (!commandRunsScript(command, plan.script, plan.arguments)) {
        // Written bare before commands were quoted: quote the script's path, keep the rest.
        QString fixed = command;
        fixed.replace(fixed.indexOf(plan.script + plan.arguments), plan.script.size(), shellWord(plan.script));
        edited = editor.setMember(handlerPath, kCommand, fixed);
      }
      if (edited && plan.timeout && handler.value(QStringLiteral("timeout")) != QJsonValue(*plan.timeout)) {
        edited = editor.setMember(handlerPath, QStringLiteral("timeout"), *plan.timeout);
      }
    } else {
      edited = editor.appendElement({kHooks, plan.event}, entry);
    }
    if (!edited) {
      return fail(edited.error());
    }
  }
  return editor.text();
}

}  // namespace tandrel
