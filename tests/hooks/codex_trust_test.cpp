// Reading Codex's trust of our hooks from config.toml, against what Codex 0.171 really wrote: the
// recorded hooks.json (our five handlers) and the config.toml after "/hooks" -> "Trust all".
#include "hooks/codex_config.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace tandrel {
namespace {

// Where the recording was made: Codex names the hooks file by this path in its trust keys.
const QString kRecordedHooksPath = QStringLiteral("/tmp/i40/cx/home/.codex/hooks.json");
const CodexHookCommands kRecordedCommands{
    QStringLiteral("/tmp/i40/cx/home/.tandrel/bin/tandrel-event"),
    QStringLiteral("/tmp/i40/cx/home/.tandrel/bin/tandrel-hook-codex")};

QByteArray recorded(const char* name) {
  QFile file(QStringLiteral(TANDREL_SOURCE_DIR "/tests/hooks/recorded/") + QLatin1String(name));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
  return file.readAll();
}

QJsonObject recordedHooks() { return QJsonDocument::fromJson(recorded("codex-hooks.json")).object(); }
QString trustedConfig() { return QString::fromUtf8(recorded("codex-trusted-config.toml")); }

// The hooks file with one of our handlers changed.
QJsonObject withHandlerChanged(const char* event, int entry, const char* key, const QJsonValue& value) {
  QJsonObject file = recordedHooks();
  QJsonObject hooks = file["hooks"].toObject();
  QJsonArray entries = hooks[QLatin1String(event)].toArray();
  QJsonObject entryObject = entries[entry].toObject();
  QJsonArray handlers = entryObject["hooks"].toArray();
  QJsonObject handler = handlers[0].toObject();
  handler[QLatin1String(key)] = value;
  handlers[0] = handler;
  entryObject["hooks"] = handlers;
  entries[entry] = entryObject;
  hooks[QLatin1String(event)] = entries;
  file["hooks"] = hooks;
  return file;
}

TEST(CodexTrust, OurHashIsTheOneCodexRecordedForEachHandler) {
  const QJsonObject hooks = recordedHooks();
  const auto handlers = ourCodexHookHandlers(hooks, kRecordedCommands);
  ASSERT_EQ(handlers.size(), 5u);
  const QString config = trustedConfig();
  for (const CodexHookHandler& handler : handlers) {
    const QString key = codexHookTrustKey(kRecordedHooksPath, handler);
    SCOPED_TRACE(key.toStdString());
    // The table's name and the hash inside it, as Codex wrote them.
    const QRegularExpression table(
        QStringLiteral("\\[hooks\\.state\\.\"%1\"\\]\\ntrusted_hash = \"([^\"]+)\"")
            .arg(QRegularExpression::escape(key)));
    const QRegularExpressionMatch match = table.match(config);
    ASSERT_TRUE(match.hasMatch());
    EXPECT_EQ(codexHookTrustHash(hooks, handler), match.captured(1));
  }
  EXPECT_TRUE(codexHookTrustKey(kRecordedHooksPath, {QStringLiteral("UserPromptSubmit"), 0, 0})
                  .endsWith(QLatin1String("/hooks.json:user_prompt_submit:0:0")));
}

TEST(CodexTrust, TrustedUntrustedAndChangedAfterTrust) {
  QString untrustedConfig = trustedConfig();
  untrustedConfig.truncate(untrustedConfig.indexOf(QLatin1String("[hooks.state]")));
  QString camelCaseKeys = trustedConfig();
  camelCaseKeys.replace(QLatin1String(":permission_request:"), QLatin1String(":PermissionRequest:"));
  QString otherHooksFile = trustedConfig();
  otherHooksFile.replace(kRecordedHooksPath, QStringLiteral("/elsewhere/.codex/hooks.json"));
  QString hashlessTables = trustedConfig();
  hashlessTables.replace(QRegularExpression(QStringLiteral("trusted_hash = \"[^\"]+\"\\n?")), QString());

  QJsonObject withForeignKey = recordedHooks();
  {
    // A key we never write: how Codex would hash it is not known, so its table alone counts.
    QJsonObject hooks = withForeignKey["hooks"].toObject();
    QJsonArray stop = hooks["Stop"].toArray();
    QJsonObject entry = stop[1].toObject();
    entry["once"] = true;
    stop[1] = entry;
    hooks["Stop"] = stop;
    withForeignKey["hooks"] = hooks;
  }

  struct Case {
    const char* name;
    QString config;
    QJsonObject hooks;
    bool trusted;
  };
  const Case cases[] = {
      {"trusted with Trust all", trustedConfig(), recordedHooks(), true},
      {"not trusted yet", untrustedConfig, recordedHooks(), false},
      {"trust keys with the event as written in hooks.json", camelCaseKeys, recordedHooks(), false},
      {"trust recorded for another hooks file", otherHooksFile, recordedHooks(), false},
      {"tables without a hash", hashlessTables, recordedHooks(), false},
      {"gate's time-out changed after trust", trustedConfig(),
       withHandlerChanged("PermissionRequest", 1, "timeout", 60), false},
      {"writer's command changed after trust", trustedConfig(),
       withHandlerChanged("Stop", 0, "command",
                          QStringLiteral("/tmp/i40/cx/home/.tandrel/bin/tandrel-event --source codex -v")),
       false},
      {"status message changed after trust", trustedConfig(),
       withHandlerChanged("UserPromptSubmit", 0, "statusMessage", QStringLiteral("Notify")), false},
      {"an entry with a key we never write", trustedConfig(), withForeignKey, true},
      {"config.toml that is not TOML", QStringLiteral("[hooks.state\n"), recordedHooks(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto handlers = ourCodexHookHandlers(c.hooks, kRecordedCommands);
    ASSERT_EQ(handlers.size(), 5u);
    EXPECT_EQ(codexHooksTrusted(c.config, kRecordedHooksPath, c.hooks, handlers), c.trusted);
  }
}

}  // namespace
}  // namespace tandrel
