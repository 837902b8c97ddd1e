#pragma once

// Builders shared by the self-tests and the fixture renderer: bridge records in the shape the
// installed hooks append, the files they are written to, a blank pet sprite sheet and colours.

#include "base/result.h"
#include "hooks/hook_manager.h"
#include "pets/pet_catalog.h"  // the sprite sheet size

#include <QColor>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <vector>

namespace tandrel {

// A bridge record: "event_id", "source", "project" ("tandrel"), "cwd" ("/tmp/tandrel"),
// "event_type", "severity", "title", "message" and "status" (the type again); "raw_event_name"
// "Stop" for a "task_completed" unless `extra` names one; "timestamp", "action" and "usage" when
// given; then every key of `extra`, replacing what is there.
QJsonObject testEvent(const QString& id, const QString& source, const QString& type, const QString& severity,
                      const QString& title, const QString& message,
                      const std::optional<QJsonObject>& action = std::nullopt,
                      const std::optional<QJsonObject>& usage = std::nullopt,
                      const std::optional<QString>& timestamp = std::nullopt, const QJsonObject& extra = {});

// Writes `text` and a line feed to `stream` at once: a report line of a headless run.
void printLine(std::FILE* stream, const QString& text);

// Replaces `path` (creating its folders) with `bytes`, atomically: the file is either replaced
// whole or left as it was.
Result<void> writeFileAtomically(const QByteArray& bytes, const QString& path);

// Replaces `path` (creating its folders) with one compact line per record, keys sorted, each line
// ending in a line feed; an empty list gives a file of one line feed. Written atomically.
Result<void> writeJSONLines(const std::vector<QJsonObject>& records, const QString& path);

// Replaces `path` (creating its folders) with the record as an indented document, atomically.
Result<void> writeJSON(const QJsonObject& record, const QString& path);

// Writes a fully transparent sprite sheet as PNG to `path`, whatever its extension. The folder
// must exist.
Result<void> writeTestSprite(const QString& path);

// An opaque colour from 0-255 components.
QColor rgba(double red, double green, double blue);

// The three records the visual checks and the fixture renderer show: a high-risk file permission
// request from Claude Code, a finished Codex task with a usage reading, and a Cursor rate limit.
std::vector<QJsonObject> fixtureRecords();

// Two records for looking at the cards themselves: a Claude Code file permission whose title the
// hook cut at 60 characters of the path, with a second line too long for the card and full of
// descenders, and a newer Codex question with two options and a note.
std::vector<QJsonObject> fixtureCardRecords();
// A Claude Code usage reading as our status-line script writes it from Claude's input (recorded
// from Claude Code 2.1.337: 31,000 tokens of context in a window of 1,000,000, 42 % of the
// seven-day limit used), with `fiveHourUsed` percent of the five-hour limit used, seen now and
// resetting in two hours and three and a half days.
std::vector<QJsonObject> fixtureUsageRecords(double fiveHourUsed);
// A Codex usage reading as our rollout scanner makes it of Codex 0.171.0's token_count line with
// 0.5 % of a 300-minute window and 42 % of a 10,080-minute window used, seen now.
std::vector<QJsonObject> fixtureCodexUsageRecords();
// The event id of the question in fixtureCardRecords().
inline constexpr const char* kFixtureChoiceEventID = "fixture-choice";

// The 25 tool ids the product requirements name, in the order the AI Tools tab groups them.
const QStringList& requiredToolIDs();

// A tool-health row with the catalogue's fields for `id` (name, product, surface, integration,
// capabilities, colour, priority, detail unless given).
ToolHealth fixtureToolHealthRow(const QString& id, HookStatus status, bool detected, const QString& path,
                                std::optional<QString> jumpTarget, std::optional<QString> detail = std::nullopt);

// Tool-health rows for the AI Tools tab in every state it draws: Claude App not installed (with a
// download page), Claude Code healthy, the Codex App installed, the Codex CLI waiting for trust,
// Cursor IDE needing repair, the Cursor Agent CLI with its wrapper to install, Gemini CLI not
// installed (without a page).
std::vector<ToolHealth> fixtureToolHealth();

}  // namespace tandrel
