#pragma once

// A store loaded from bridge lines and island views over it, for the drawing and input tests.

#include "events/event_store_test_support.h"
#include "island/tandrel_view.h"

#include <QJsonArray>

#include <memory>

namespace tandrel::test {

struct IslandFixture : StoreFixture {
  IslandFixture() {
    home.setEnv("TANDREL_LOCK_EXPANDED", std::nullopt);
    home.setEnv("TANDREL_SETTINGS_TAB", std::nullopt);
  }

  // Replaces the bridge file with `lines` and loads it.
  void load(const std::vector<QByteArray>& lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines) bytes += line;
    EXPECT_TRUE(writeFile(eventFile, bytes));
    if (!store) store = make();
    store->reload(false);
  }

  // A 540-wide expanded island as high as the inbox asks for.
  std::unique_ptr<TandrelView> expandedView(int height = 501) {
    auto view = std::make_unique<TandrelView>(QSize(540, height), *store, clock);
    view->setMode(OverlayMode::expanded);
    return view;
  }

  std::unique_ptr<EventStore> store;
};

// A permission request with a decision file; `risk` "high" makes its Authorize ask twice.
inline QByteArray permissionLine(const QString& id, const QString& decisionFile, const QString& risk = "low",
                                 const QString& source = "claude") {
  return bridgeLine(id, {{"source", source},
                         {"event_type", "permission_request"},
                         {"title", "Edit src/main.cpp"},
                         {"project", "tandrel"},
                         {"session_id", id + QStringLiteral("-session")},
                         {"timestamp", "2027-01-15T08:00:00Z"},
                         {"action", QJsonObject{{"decision_file", decisionFile}, {"risk", risk}}}});
}

// A question with options (the second disabled when `disabledSecond`) answered through a file,
// with a note of `noteMaxLength` characters.
inline QByteArray choiceLine(const QString& id, const QString& responseFile, int noteMaxLength = 40,
                             bool disabledSecond = false) {
  QJsonObject second{{"id", "b"}, {"label", "Beta"}, {"risk", "high"}};
  if (disabledSecond) second.insert("disabled_reason", "Not now");
  return bridgeLine(id, {{"source", "codex"},
                         {"event_type", "waiting_input"},
                         {"title", "Pick one"},
                         {"session_id", id + QStringLiteral("-session")},
                         {"timestamp", "2027-01-15T08:00:00Z"},
                         {"note_enabled", true},
                         {"note_placeholder", "Why?"},
                         {"note_max_length", noteMaxLength},
                         {"options", QJsonArray{QJsonObject{{"id", "a"}, {"label", "Alpha"}, {"risk", "low"}}, second}},
                         {"response", QJsonObject{{"response_file", responseFile}}}});
}

// A finished task.
inline QByteArray completionLine(const QString& id, const QString& source = "codex") {
  return bridgeLine(id, {{"source", source},
                         {"event_type", "task_completed"},
                         {"raw_event_name", "Stop"},
                         {"title", "Refactor done"},
                         {"message", "All tests pass"},
                         {"session_id", id + QStringLiteral("-session")},
                         {"timestamp", "2027-01-15T08:00:00Z"}});
}

}  // namespace tandrel::test
