#include "jump/jump_target.h"

#include "events/tandrel_event.h"
#include "support/temp_home.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace tandrel {
namespace {

std::optional<JumpTarget> decoded(const char* json) {
  return JumpTarget::fromBridgeObject(QJsonDocument::fromJson(QByteArray(json)).object());
}

TEST(JumpTargetTest, DecodesEveryKind) {
  struct Case {
    const char* json;
    std::optional<JumpTarget> expected;
  };
  const Case cases[] = {
      {R"({"kind":"app","bundleId":"com.example.app","app_path":"/Applications/X.app","deepLink":"x://y"})",
       JumpTarget::app("com.example.app", "/Applications/X.app", "x://y")},
      {R"({"kind":"APP"})", JumpTarget::app(std::nullopt, std::nullopt, std::nullopt)},
      {R"({"kind":"cli","command":"claude","args":["--resume",7,null],"cwd":"/w"})",
       JumpTarget::cli("claude", {"--resume", "7"}, "/w")},
      {R"({"kind":"cli","args":["x"]})", std::nullopt},
      {R"({"kind":"cmux","sessionId":"s-1","window_id":4})", JumpTarget::cmux("s-1", "4", std::nullopt)},
      {R"({"kind":"ITerm2","window_id":7})",
       JumpTarget::terminalWindow("iTerm2", "7", std::nullopt, std::nullopt, std::nullopt)},
      {R"({"kind":"terminal-window","tabId":"/dev/ttys003","session_id":"w0t1","cwd":"/w"})",
       JumpTarget::terminalWindow("Terminal", std::nullopt, "/dev/ttys003", "w0t1", "/w")},
      {R"({"kind":"terminal_window","terminal":"kitty"})",
       JumpTarget::terminalWindow("kitty", std::nullopt, std::nullopt, std::nullopt, std::nullopt)},
      {R"({"kind":"terminal_window","terminal":"tmux","sessionId":"%0","socket":"/tmp/tmux-0/work","pid":4242})",
       JumpTarget::terminalWindow("tmux", std::nullopt, std::nullopt, "%0", std::nullopt, "/tmp/tmux-0/work", "4242")},
      {R"({"kind":"terminal","cwd":"/w","terminal":"WezTerm"})", JumpTarget::terminalCwd("/w", "WezTerm")},
      {R"({"kind":"terminal_cwd"})", std::nullopt},
      {R"({"kind":"url","value":"https://example.com"})", JumpTarget::url("https://example.com")},
      {R"({"kind":"url"})", std::nullopt},
      {R"({"kind":"file","path":"/w/a.cpp","line":"12"})", JumpTarget::file("/w/a.cpp", 12)},
      {R"({"kind":"file","path":"/w/a.cpp","line":"twelve"})", JumpTarget::file("/w/a.cpp", std::nullopt)},
      {R"({"kind":"file","path":"/w/a.cpp","line":1e300})", JumpTarget::file("/w/a.cpp", std::nullopt)},
      {R"({"kind":"window"})", std::nullopt},
      {R"({"path":"/w/a.cpp"})", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decoded(c.json), c.expected) << c.json;
  }
}

TEST(JumpTargetTest, EqualityIsCaseAndPayload) {
  EXPECT_EQ(JumpTarget::cmux("s", std::nullopt, std::nullopt), JumpTarget::cmux("s", std::nullopt, std::nullopt));
  EXPECT_NE(JumpTarget::cmux("s", std::nullopt, std::nullopt), JumpTarget::cmux("s", std::nullopt, ""));
  EXPECT_NE(JumpTarget::url("/a"), JumpTarget::file("/a", std::nullopt));
  EXPECT_NE(JumpTarget::cli("gh", {"copilot"}, std::nullopt), JumpTarget::cli("gh", {}, std::nullopt));
  EXPECT_EQ(JumpTarget::terminalCwd("/w", std::nullopt).kind(), JumpTarget::Kind::terminalCwd);
  ASSERT_NE(JumpTarget::terminalWindow("iTerm2", "1", {}, {}, {}).as<JumpTarget::TerminalWindow>(), nullptr);
  EXPECT_EQ(JumpTarget::terminalWindow("iTerm2", "1", {}, {}, {}).as<JumpTarget::TerminalWindow>()->terminal,
            "iTerm2");
  EXPECT_EQ(JumpTarget::url("x").as<JumpTarget::File>(), nullptr);
}

TEST(JumpTargetTest, ResolvedTargetsCompareTheirFallbackChains) {
  const auto make = [](const QString& label, std::shared_ptr<const BoxedResolvedJumpTarget> fallback) {
    return ResolvedJumpTarget{true,  JumpTarget::terminalCwd("/w", std::nullopt), label, std::nullopt,
                              JumpQuality::workspaceLevel, std::move(fallback), ResolvedJumpAction::openTerminal};
  };
  const ResolvedJumpTarget plain = make("Open folder", nullptr);
  EXPECT_EQ(make("Open folder", boxed(plain)), make("Open folder", boxed(plain)));
  EXPECT_NE(make("Open folder", boxed(plain)), make("Open folder", nullptr));
  EXPECT_NE(make("Open folder", boxed(plain)), make("Open folder", boxed(make("Open", nullptr))));
  EXPECT_NE(plain, make("Open", nullptr));
}

TEST(JumpTargetTest, RawValues) {
  EXPECT_EQ(rawValue(JumpQuality::exactWindow), "exact_window");
  EXPECT_EQ(rawValue(JumpQuality::workspaceLevel), "workspace_level");
  EXPECT_EQ(rawValue(ResolvedJumpAction::openCLI), "open_cli");
  EXPECT_EQ(rawValue(ResolvedJumpAction::focusTerminalWindow), "focus_terminal_window");
  for (const JumpQuality q : {JumpQuality::exactWindow, JumpQuality::sessionLevel, JumpQuality::workspaceLevel,
                              JumpQuality::appLevel, JumpQuality::unavailable}) {
    EXPECT_EQ(parseJumpQuality(rawValue(q)), q);
  }
  EXPECT_EQ(parseResolvedJumpAction(u"open_url"), ResolvedJumpAction::openURL);
  EXPECT_EQ(parseResolvedJumpAction(u"Open_URL"), std::nullopt);
  EXPECT_LT(JumpQuality::exactWindow, JumpQuality::appLevel);  // case order is rank
}

TEST(JumpTargetTest, EventTakesTheFirstJumpKeyHoldingAnObject) {
  test::TempHome home;
  const auto event = TandrelEvent::fromBridgeLine(
      R"({"event_id":"j","jump_target":"/tmp/notes.md","jumpTarget":{"kind":"cmux","session_id":"s","cwd":"/w"},)"
      R"("jump":{"kind":"url","url":"https://example.com"}})");
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(event->typedJumpTarget, JumpTarget::cmux("s", std::nullopt, "/w"));
  EXPECT_EQ(event->jumpTarget, "/tmp/notes.md");

  // A first object with an unusable kind still decides: later keys are not consulted.
  const auto unusable =
      TandrelEvent::fromBridgeLine(R"({"event_id":"k","jump_target":{"kind":"url"},"jump":{"kind":"url","url":"x"}})");
  ASSERT_TRUE(unusable.has_value());
  EXPECT_FALSE(unusable->typedJumpTarget.has_value());
}

}  // namespace
}  // namespace tandrel
