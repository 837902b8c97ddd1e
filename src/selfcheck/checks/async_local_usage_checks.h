#pragma once

#include "selfcheck/self_check.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// A store that loads local usage on its worker thread: its reload returns while a slow loader is
// still reading, and the loader's readings are published once it finishes. The group then leaves
// the unchanged-rollout fixture that the local usage cache checks load next.

namespace tandrel {

void runAsyncLocalUsageChecks(SelfCheckFailures& failures, const QString& tempRoot);

// The unchanged-rollout fixture's folder: an empty "events.jsonl" and one Codex rollout with a
// token count of 42 tokens, "2026/05/10/rollout-unchanged.jsonl".
// A Codex rollout line with one token count: the session's totals at `at`.
QJsonObject rolloutTokenCountLine(const QDateTime& at, const QJsonObject& totalTokenUsage);

QString unchangedLocalUsageFolder(const QString& tempRoot);
QString unchangedLocalUsageRolloutFile(const QString& tempRoot);

}  // namespace tandrel
