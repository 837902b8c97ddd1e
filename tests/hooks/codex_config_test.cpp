// The Codex config.toml editor and the hooks.json plan. Every edited configuration is parsed with
// python's tomllib, the parser of record for "is this still a file Codex can load".
#include "hooks/codex_config.h"

#include "hooks/toml_outline.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace tandrel {
namespace {

const QString kNotify = QStringLiteral("/home/me/.tandrel/bin/tandrel-codex-notify");

// The text parsed by tomllib, as JSON; an error text when it does not parse.
struct Parsed {
  bool ok = false;
  QJsonObject value;
  QString error;
};

Parsed parseToml(const QString& text) {
  QProcess python;
  python.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-c"),
                QStringLiteral("import sys, json, tomllib\n"
                               "try:\n"
                               "    print(json.dumps(tomllib.loads(sys.stdin.read()), default=str))\n"
                               "except tomllib.TOMLDecodeError as e:\n"
                               "    print('ERROR', e)\n")});
  python.write(text.toUtf8());
  python.closeWriteChannel();
  python.waitForFinished(20000);
  const QByteArray out = python.readAllStandardOutput().trimmed();
  if (out.startsWith("ERROR")) {
    return {false, {}, QString::fromUtf8(out)};
  }
  return {true, QJsonDocument::fromJson(out).object(), {}};
}

// Whether tomllib accepts each of the texts (one python for all of them).
std::vector<bool> tomllibAccepts(const QStringList& texts) {
  QProcess python;
  python.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-c"),
                QStringLiteral("import sys, json, tomllib\n"
                               "def ok(t):\n"
                               "    try:\n"
                               "        tomllib.loads(t)\n"
                               "        return True\n"
                               "    except tomllib.TOMLDecodeError:\n"
                               "        return False\n"
                               "print(json.dumps([ok(t) for t in json.load(sys.stdin)]))\n")});
  python.write(QJsonDocument(QJsonArray::fromStringList(texts)).toJson());
  python.closeWriteChannel();
  python.waitForFinished(20000);
  std::vector<bool> out;
  for (const QJsonValue& v : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
    out.push_back(v.toBool());
  }
  return out;
}

// `x = ` and `depth` arrays (or inline tables) opened and closed.
QString nested(int depth, bool tables = false) {
  return QStringLiteral("x = ") + (tables ? QStringLiteral("{a=") : QStringLiteral("[")).repeated(depth) +
         (tables ? QStringLiteral("1") : QString()) +
         QString(depth, tables ? u'}' : u']') + u'\n';
}

// A key of `parts` parts.
QString dottedKey(int parts) { return QStringLiteral("a.").repeated(parts - 1) + u'a'; }

QJsonObject json(const char* text) { return QJsonDocument::fromJson(text).object(); }

struct EditCase {
  const char* name;
  const char* config;
  const char* expected;           // the parsed result, as JSON ("%N" stands for the notify path)
  const char* chain;              // the notify chain as a JSON array, or nullptr for none
  const char* mustContain = "";  // a piece of text the result keeps
};

QJsonObject withNotifyPath(const char* expected) {
  QString text = QString::fromUtf8(expected);
  text.replace(QLatin1String("%N"), kNotify);
  return QJsonDocument::fromJson(text.toUtf8()).object();
}

const EditCase kEdits[] = {
    {"empty file", "", R"({"notify":["%N"],"features":{"hooks":true}})", nullptr},
    {"no notify, a table without a final line break", "model = \"o4\"\n[tui]\ntheme = \"dark\"",
     R"({"notify":["%N"],"model":"o4","tui":{"theme":"dark"},"features":{"hooks":true}})",
     nullptr},
    {"one-line notify with two strings", "notify = [\"notify-send\", \"Codex\"]\nmodel = \"o4\"\n",
     R"({"notify":["%N"],"model":"o4","features":{"hooks":true}})", R"(["notify-send","Codex"])"},
    {"notify= without spaces, literal strings", "notify=['/usr/bin/say','done']\n",
     R"({"notify":["%N"],"features":{"hooks":true}})", R"(["/usr/bin/say","done"])"},
    {"notify over several lines with comments",
     "# mine\nnotify = [\n  \"python3\", # the interpreter\n  \"/home/me/n.py\",\n]\n"
     "approval_policy = \"on-request\"\n",
     R"({"notify":["%N"],"approval_policy":"on-request","features":{"hooks":true}})",
     R"(["python3","/home/me/n.py"])", "# mine"},
    {"our notify already there",
     "notify = [\"/home/me/.tandrel/bin/tandrel-codex-notify\"]\n[features]\nhooks = true\n",
     R"({"notify":["%N"],"features":{"hooks":true}})", nullptr},
    {"quoted key and a # inside a string",
     "\"notify\" = [\"sh\", \"-c\", \"echo '#1' [features]\"]\n",
     R"({"notify":["%N"],"features":{"hooks":true}})", R"(["sh","-c","echo '#1' [features]"])"},
    {"features header with inner spaces and a comment, old flag",
     "notify = [\"x\"]\n[ features ] # switches\ncodex_hooks = true # old\nweb_search = true\n",
     R"({"notify":["%N"],"features":{"hooks":true,"web_search":true}})", R"(["x"])",
     "[ features ] # switches"},
    {"hooks false with a comment", "[features]\nhooks = false # later\nother = 1\n",
     R"({"notify":["%N"],"features":{"hooks":true,"other":1}})", nullptr},
    {"dotted features keys at the root",
     "features.web_search = true\nfeatures.codex_hooks = true\nmodel = \"o4\"\n",
     R"({"notify":["%N"],"model":"o4","features":{"hooks":true,"web_search":true}})", nullptr},
    {"dotted hooks key set to false", "features.hooks = false\n",
     R"({"notify":["%N"],"features":{"hooks":true}})", nullptr},
    {"hooks under another table, profiles with their own notify",
     "[mcp]\nhooks = true\n[profiles.work]\nnotify = [\"w\"]\nmodel = \"o3\"\n",
     R"({"notify":["%N"],"mcp":{"hooks":true},"profiles":{"work":{"notify":["w"],"model":"o3"}},)"
     R"("features":{"hooks":true}})",
     nullptr},
    {"a multi-line string that looks like tables",
     "instructions = \"\"\"\n[features]\nnotify = [\"no\"]\n\"\"\"\n",
     R"({"notify":["%N"],"instructions":"[features]\nnotify = [\"no\"]\n","features":{"hooks":true}})",
     nullptr},
    {"a features subtable only", "[features.extra]\nx = 1\n",
     R"({"notify":["%N"],"features":{"hooks":true,"extra":{"x":1}}})", nullptr},
    {"our bridge only in a comment inside the array",
     "notify = [ # \"/home/me/.tandrel/bin/tandrel-codex-notify\",\n  \"notify-send\", \"Codex\" ]\n",
     R"({"notify":["%N"],"features":{"hooks":true}})", R"(["notify-send","Codex"])"},
    {"our bridge spelled with an escape", "notify = [\"/b/tandrel\\u002Dcodex-notify\"]\n",
     R"({"notify":["/b/tandrel-codex-notify"],"features":{"hooks":true}})", nullptr},
};

TEST(CodexConfigEdit, EveryFormParsesToTheExpectedConfiguration) {
  for (const EditCase& c : kEdits) {
    SCOPED_TRACE(c.name);
    const QString input = QString::fromUtf8(c.config);
    ASSERT_TRUE(parseToml(input).ok) << "fixture is not TOML";
    auto planned = plannedCodexConfigText(input, kNotify);
    ASSERT_TRUE(planned.ok()) << planned.error().toStdString();
    const Parsed parsed = parseToml(planned.value());
    ASSERT_TRUE(parsed.ok) << parsed.error.toStdString() << "\n" << planned->toStdString();
    EXPECT_EQ(parsed.value, withNotifyPath(c.expected)) << planned->toStdString();
    EXPECT_TRUE(planned->contains(QString::fromUtf8(c.mustContain)));
    // A second edit changes nothing.
    EXPECT_EQ(plannedCodexConfigText(planned.value(), kNotify).value(), planned.value());

    const auto chain = codexNotifyChain(input);
    if (c.chain == nullptr) {
      EXPECT_FALSE(chain.has_value());
    } else {
      ASSERT_TRUE(chain.has_value());
      EXPECT_EQ(QJsonArray::fromStringList(*chain),
                QJsonDocument::fromJson(c.chain).array());
    }
  }
}

TEST(CodexConfigEdit, KeepsUntouchedLinesByteForByte) {
  EXPECT_EQ(plannedCodexConfigText(QString(), kNotify).value(),
            QStringLiteral("notify = [\"%1\"]\n\n\n[features]\nhooks = true\n").arg(kNotify));
  EXPECT_EQ(plannedCodexConfigText(QStringLiteral("model = \"o4\" # fast\r\n[features]\r\nx = 1\r\n"),
                                   kNotify)
                .value(),
            QStringLiteral("notify = [\"%1\"]\r\n\r\nmodel = \"o4\" # fast\r\n[features]\r\nhooks = "
                           "true\r\nx = 1\r\n")
                .arg(kNotify));
}

TEST(CodexConfigEdit, RefusesWhatItCannotEditSafely) {
  const char* const refused[] = {
      "notify = [\"unterminated\"\n",                   // not TOML
      "model = \"o4\"\nmodel\n",                        // a bare word
      "[features]\nhooks = true\n[features]\nx = 1\n",  // two tables
      "features = { hooks = false }\n",                 // inline table
      "notify = [\"a\"]\nnotify = [\"b\"]\n",           // two notify keys
      "[features.hooks]\nx = 1\n",                      // hooks is a table
      "[features.hooks]\n",                             // an empty one too
      "notify.program = \"/bin/n\"\n",                  // notify is a table
      "[notify]\nprogram = \"/bin/n\"\n",
      "model = \"o4\"\nmodel = \"o3\"\n",                // only a full parser sees these
      "[tui]\n[tui]\n",
      "start = 1979-13-27\n",
  };
  for (const char* config : refused) {
    SCOPED_TRACE(config);
    auto planned = plannedCodexConfigText(QString::fromUtf8(config), kNotify);
    ASSERT_FALSE(planned.ok());
    EXPECT_TRUE(planned.error().contains(QLatin1String("nothing was changed")));
  }
}

// A file nested deeper than any reader of ours follows is refused as not valid TOML at once (it
// overflowed the stack of the recursive value reader, at every start of the app).
TEST(CodexConfigEdit, DeepNestingIsRefusedQuicklyAndWithoutRecursion) {
  // The limits themselves: `x` and 127 inline tables' keys make 128 key parts.
  for (const QString& text : {nested(kMaxTomlNesting), nested(kMaxTomlNesting - 1, true),
                              QStringLiteral("[%1]\n").arg(dottedKey(kMaxTomlNesting))}) {
    EXPECT_TRUE(outlineToml(text).ok()) << text.size();
  }
  const QString texts[] = {
      nested(kMaxTomlNesting + 1),
      nested(kMaxTomlNesting, true),
      QStringLiteral("x = {%1 = {%1 = 1}}\n").arg(dottedKey(kMaxTomlNesting / 2)),
      nested(130'000),  // 260 KB
      nested(65'000, true),
      QStringLiteral("[%1]\n").arg(dottedKey(130'000)),
      QStringLiteral("%1 = 1\n").arg(dottedKey(130'000)),
  };
  for (const QString& text : texts) {
    SCOPED_TRACE(text.size());
    QElapsedTimer timer;
    timer.start();
    auto planned = plannedCodexConfigText(text, kNotify);
    ASSERT_FALSE(planned.ok());
    EXPECT_TRUE(planned.error().contains(QLatin1String("not valid TOML at line 1")))
        << planned.error().toStdString();
    EXPECT_TRUE(planned.error().contains(QLatin1String("nothing was changed")));
    const auto installed = codexNotifyInstalled(text);
    ASSERT_FALSE(installed.ok());
    EXPECT_TRUE(installed.error().contains(QLatin1String("nested deeper than 128")));
    EXPECT_FALSE(tomlFeatureFlagEnabled(text, QStringLiteral("features"), QStringLiteral("hooks")));
    EXPECT_FALSE(codexNotifyChain(text).has_value());
    EXPECT_LT(timer.elapsed(), 1000);
  }
}

// The lexer is as strict as TOML about the form of escapes, control characters and bare values,
// and no stricter: each text is judged as tomllib judges it.
TEST(TomlOutline, RefusesWhatTomlRefusesAndAcceptsWhatItAccepts) {
  const QString nul(QChar(0));
  const QStringList accepted = {
      QStringLiteral("a = [1_000, -0, +0.5e-3, 1e06, 0xDEAD_beef, 0o7, 0b1, inf, -nan, true, false]\n"),
      QStringLiteral("d = [1979-05-27T07:32:00.5-07:00, 1979-05-27 07:32:00Z, 1979-05-27t07:32:00,"
                     " 1979-05-27, 07:32:00.999]\n"),
      QStringLiteral("s = \"\\u00e9\\U0001F600\tx\"\n"),
      QStringLiteral("s = 'tab\tok'\nm = \"\"\"a\r\nb\tc\"\"\"\nl = '''x\ny'''\n"),
      QStringLiteral("t = {a = 1, b = [\"x\", {c = 2}]}\n"),
  };
  const QStringList refused = {
      QStringLiteral("s = \"\\u+041\"\n"),  // a sign, a space or a NUL among the hex digits
      QStringLiteral("s = \"\\u 041\"\n"),
      QStringLiteral("s = \"\\u00") + nul + QStringLiteral("1\"\n"),
      QStringLiteral("s = \"\\U+0001F60\"\n"),
      QStringLiteral("s = \"\\u41\"\n"),  // too few digits
      QStringLiteral("s = \"a\u0001b\"\n"),  // raw control characters in strings
      QStringLiteral("s = 'a\u007fb'\n"),
      QStringLiteral("s = \"a") + nul + QStringLiteral("b\"\n"),
      QStringLiteral("s = \"\"\"a\rb\"\"\"\n"),
      QStringLiteral("s = '''a\u001bb'''\n"),
      QStringLiteral("a = [1, bare]\n"),  // bare words as values
      QStringLiteral("a = yes\n"),
      QStringLiteral("a = {b = True}\n"),
      QStringLiteral("a = 0x_f\n"),
      QStringLiteral("a = 1__0\n"),
      QStringLiteral("a = 01\n"),
      QStringLiteral("a = .5\n"),
      QStringLiteral("a = 1979-05-27T07:32\n"),
  };
  const std::vector<bool> acceptedVerdicts = tomllibAccepts(accepted);
  const std::vector<bool> refusedVerdicts = tomllibAccepts(refused);
  ASSERT_EQ(acceptedVerdicts.size(), static_cast<size_t>(accepted.size()));
  ASSERT_EQ(refusedVerdicts.size(), static_cast<size_t>(refused.size()));
  for (qsizetype i = 0; i < accepted.size(); ++i) {
    SCOPED_TRACE(accepted[i].toStdString());
    ASSERT_TRUE(acceptedVerdicts[static_cast<size_t>(i)]) << "fixture is not TOML";
    auto outline = outlineToml(accepted[i]);
    EXPECT_TRUE(outline.ok()) << outline.error().toStdString();
    EXPECT_TRUE(plannedCodexConfigText(accepted[i], kNotify).ok());
  }
  for (qsizetype i = 0; i < refused.size(); ++i) {
    SCOPED_TRACE(refused[i].toStdString());
    ASSERT_FALSE(refusedVerdicts[static_cast<size_t>(i)]) << "fixture is TOML";
    EXPECT_FALSE(outlineToml(refused[i]).ok());
  }
}

// Whether our notify is there is read from the decoded array, as Codex reads it.
TEST(CodexConfigEdit, NotifyIsOursOnlyWhenTheDecodedArrayNamesTheBridge) {
  const struct {
    const char* config;
    bool ours;
  } cases[] = {
      {"notify = [\"/home/me/.tandrel/bin/tandrel-codex-notify\"]\n", true},
      {"notify = [\n  \"/home/me/.tandrel/bin/tandrel-codex-notify\", # ours\n]\n", true},
      {"notify = [\"/b/tandrel\\u002dcodex-notify\"]\n", true},
      {"notify = [ # \"/home/me/.tandrel/bin/tandrel-codex-notify\",\n\"notify-send\", \"Codex\" ]\n",
       false},
      {"notify = [\"notify-send\"] # tandrel-codex-notify\n", false},
      {"# notify = [\"/home/me/.tandrel/bin/tandrel-codex-notify\"]\n", false},
      {"[profiles.x]\nnotify = [\"/home/me/.tandrel/bin/tandrel-codex-notify\"]\n", false},
      {"instructions = \"tandrel-codex-notify\"\n", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.config);
    const auto installed = codexNotifyInstalled(QString::fromUtf8(c.config));
    ASSERT_TRUE(installed.ok()) << installed.error().toStdString();
    EXPECT_EQ(installed.value(), c.ours);
  }
}

TEST(CodexConfigEdit, FeatureFlagReadsEveryFormOnlyInItsTable) {
  struct FlagCase {
    const char* config;
    bool hooks;
    bool codexHooks;
  };
  const FlagCase cases[] = {
      {"[features]\nhooks = true\n", true, false},
      {"[ features ] # on\nhooks = true # yes\n", true, false},
      {"features.codex_hooks = true\n", false, true},
      {"[features]\nhooks = false\ncodex_hooks = true\n", false, true},
      {"[other]\nhooks = true\n", false, false},
      {"[features]\nhooks = \"true\"\n", false, false},
      {"[features]\nhooks = true\n[features]\n", true, false},  // the parser of record refuses
      {"[features\nhooks = true\n", false, false},              // not TOML
  };
  for (const FlagCase& c : cases) {
    SCOPED_TRACE(c.config);
    const QString text = QString::fromUtf8(c.config);
    EXPECT_EQ(tomlFeatureFlagEnabled(text, QStringLiteral("features"), QStringLiteral("hooks")),
              c.hooks);
    EXPECT_EQ(
        tomlFeatureFlagEnabled(text, QStringLiteral("features"), QStringLiteral("codex_hooks")),
        c.codexHooks);
  }
}

const CodexHookCommands kCommands{QStringLiteral("/h/.tandrel/bin/tandrel-event"),
                                  QStringLiteral("/h/.tandrel/bin/tandrel-hook-codex")};

// The planned hooks file of a file, parsed.
QJsonObject plannedCodexHooksObject(const QJsonObject& file, const CodexHookCommands& commands) {
  const auto text = plannedCodexHooksText(QString::fromUtf8(QJsonDocument(file).toJson()), commands);
  EXPECT_TRUE(text.ok()) << text.error().toStdString();
  return text ? QJsonDocument::fromJson(text.value().toUtf8()).object() : QJsonObject();
}

TEST(CodexHooksPlan, AddsOurEntriesAfterForeignOnesOnce) {
  const QJsonObject file = json(R"({
    "version": 2,
    "hooks": {
      "PermissionRequest": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "audit"}]}],
      "PostToolUse": [{"hooks": [{"type": "command", "command": "fmt"}]}],
      "Stop": [null, "not an entry"]
    }
  })");
  const QJsonObject planned = plannedCodexHooksObject(file, kCommands);
  const QJsonObject hooks = planned.value("hooks").toObject();
  EXPECT_EQ(planned.value("version"), QJsonValue(2));
  EXPECT_EQ(hooks.value("PostToolUse"), file.value("hooks")["PostToolUse"]);

  const QJsonArray permission = hooks.value("PermissionRequest").toArray();
  ASSERT_EQ(permission.size(), 3);
  EXPECT_EQ(permission[0], file.value("hooks")["PermissionRequest"][0]);
  EXPECT_EQ(permission[1].toObject(),
            json(R"({"matcher":"*","hooks":[{"type":"command","command":"/h/.tandrel/bin/tandrel-event --source codex","timeout":2,"statusMessage":"Notify Tandrel"}]})"));
  EXPECT_EQ(permission[2].toObject(),
            json(R"({"matcher":"*","hooks":[{"type":"command","command":"/h/.tandrel/bin/tandrel-hook-codex --event PermissionRequest","timeout":125,"statusMessage":"Tandrel approval gate"}]})"));

  // The prompt the user has just typed is never held back: the writer only, asynchronous.
  const QJsonArray prompt = hooks.value("UserPromptSubmit").toArray();
  ASSERT_EQ(prompt.size(), 1);
  EXPECT_EQ(prompt[0]["hooks"][0]["async"], QJsonValue(true));
  // What is not an entry stays where it was, before ours.
  const QJsonArray stop = hooks.value("Stop").toArray();
  ASSERT_EQ(stop.size(), 4);
  EXPECT_EQ(stop[0], QJsonValue(QJsonValue::Null));
  EXPECT_EQ(stop[1], QJsonValue("not an entry"));
  EXPECT_EQ(stop[3]["hooks"][0]["command"],
            QJsonValue("/h/.tandrel/bin/tandrel-hook-codex --event Stop"));

  EXPECT_TRUE(codexHooksInstalled(planned, kCommands));
  EXPECT_FALSE(codexHooksInstalled(file, kCommands));
  EXPECT_EQ(plannedCodexHooksObject(planned, kCommands), planned);
}

TEST(CodexHooksPlan, TrustNeedsAStateTableForEveryHandlerOfOurs) {
  const QJsonObject planned = plannedCodexHooksObject(
      json(R"({"hooks":{"PermissionRequest":[{"hooks":[{"type":"command","command":"audit"}]}]}})"),
      kCommands);
  const auto handlers = ourCodexHookHandlers(planned, kCommands);
  ASSERT_EQ(handlers.size(), 5u);
  const QString path = QStringLiteral("/h/.codex/hooks.json");
  QString config = QStringLiteral("notify = [\"x\"]\n");
  for (const CodexHookHandler& handler : handlers) {
    EXPECT_FALSE(codexHooksTrusted(config, path, planned, handlers));
    config += QStringLiteral("[hooks.state.\"%1\"]\ntrusted_hash = \"%2\"\n")
                  .arg(codexHookTrustKey(path, handler), codexHookTrustHash(planned, handler).value());
  }
  ASSERT_TRUE(parseToml(config).ok);
  EXPECT_TRUE(codexHooksTrusted(config, path, planned, handlers));
  // The foreign handler sits before ours, so ours are counted from 1 in that event.
  const auto first = std::find_if(handlers.begin(), handlers.end(), [](const auto& h) {
    return h.event == QLatin1String("PermissionRequest");
  });
  EXPECT_EQ(first->entry, 1);
  EXPECT_FALSE(codexHooksTrusted(config, QStringLiteral("/other/hooks.json"), planned, handlers));
}

}  // namespace
}  // namespace tandrel
