#include "selfcheck/switch_checks.h"

#include "base/canonical_json.h"
#include "attention/pet_state.h"
#include "platform/clock.h"
#include "requests/audit_writer.h"
#include "requests/pending_action_store.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <chrono>

namespace tandrel {
namespace {

using std::chrono::milliseconds;

// A Claude Code permission request waiting for the user, created now, with a two-minute time-out.
PendingAction scenarioAction(const QString& requestID, HookRequestPayload payload = {}) {
  PendingAction action;
  action.requestID = requestID;
  action.agent = QStringLiteral("claude_code");
  action.sessionID = QStringLiteral("s");
  action.agentPID = 1;
  action.kind = PendingActionKind::permissionRequest;
  action.createdAt = Clock::system().now();
  action.timeoutSeconds = 120;
  action.payload = std::move(payload);
  action.status = PendingActionStatus::awaitingUser;
  return action;
}

HookRequestPayload shellPayload() {
  HookRequestPayload payload;
  payload.tool = QStringLiteral("Bash");
  payload.command = QStringLiteral("ls");
  return payload;
}

HookReply allowOnceReply(const QString& requestID) {
  HookReply reply;
  reply.requestID = requestID;
  reply.decision = QStringLiteral("allow");
  reply.mode = QStringLiteral("once");
  reply.rawAgentPayload = QStringLiteral("{}");
  return reply;
}

PendingAction insert(PendingAction action) {
  return PendingActionStore::shared().insert(std::move(action), [](const HookReply&) {});
}

QString statusOf(const QString& requestID) {
  const std::optional<PendingAction> action = PendingActionStore::shared().action(requestID);
  return action ? rawValue(action->status) : QString();
}

// Runs the main thread's event loop for `duration`.
void runMainLoop(milliseconds duration) {
  QEventLoop loop;
  QTimer::singleShot(duration, &loop, &QEventLoop::quit);
  loop.exec();
}

SwitchOutcome report(const QJsonObject& values) { return SwitchOutcome::output(canonicalJson(values)); }

SwitchOutcome insertCompleteScenario() {
  insert(scenarioAction(QStringLiteral("r1"), shellPayload()));
  const QString first = statusOf(QStringLiteral("r1"));
  PendingActionStore& store = PendingActionStore::shared();
  const HookReply reply = allowOnceReply(QStringLiteral("r1"));
  store.complete(QStringLiteral("r1"), reply, PendingActionStatus::answered);
  const QString afterComplete = statusOf(QStringLiteral("r1"));
  const bool secondAccepted = store.complete(QStringLiteral("r1"), reply, PendingActionStatus::answered);
  return report({{QStringLiteral("firstStatus"), first},
                 {QStringLiteral("afterCompleteStatus"), afterComplete},
                 {QStringLiteral("secondCompleteAccepted"), secondAccepted}});
}

SwitchOutcome coalesceScenario() {
  insert(scenarioAction(QStringLiteral("r1"), shellPayload()));
  insert(scenarioAction(QStringLiteral("r2"), shellPayload()));
  return report({{QStringLiteral("priorStatus"), statusOf(QStringLiteral("r1"))},
                 {QStringLiteral("currentStatus"), statusOf(QStringLiteral("r2"))}});
}

SwitchOutcome timeoutScenario() {
  PendingAction action = scenarioAction(QStringLiteral("rt"));
  action.timeoutSeconds = 1;
  insert(std::move(action));
  const QString before = statusOf(QStringLiteral("rt"));
  runMainLoop(milliseconds(1500));
  return report({{QStringLiteral("beforeStatus"), before},
                 {QStringLiteral("afterStatus"), statusOf(QStringLiteral("rt"))}});
}

SwitchOutcome agentDiedScenario() {
  QProcess child;
  child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("10")});
  if (!child.waitForStarted()) {
    return SwitchOutcome::failure("failed to spawn sleep: " + child.errorString().toUtf8() + '\n');
  }
  PendingAction action = scenarioAction(QStringLiteral("ra"));
  action.agentPID = static_cast<std::int32_t>(child.processId());
  action.timeoutSeconds = 60;
  insert(std::move(action));
  const QString before = statusOf(QStringLiteral("ra"));
  runMainLoop(milliseconds(100));
  child.terminate();
  const QDeadlineTimer deadline(3000);
  while (!deadline.hasExpired() && statusOf(QStringLiteral("ra")) != rawValue(PendingActionStatus::agentDied)) {
    runMainLoop(milliseconds(50));
  }
  const QString after = statusOf(QStringLiteral("ra"));
  child.waitForFinished(1000);
  return report({{QStringLiteral("beforeStatus"), before}, {QStringLiteral("afterStatus"), after}});
}

}  // namespace

SwitchOutcome auditEmitCheck(const QString& auditFile) {
  AuditWriter& writer = AuditWriter::shared();
  writer.setAuditFile(auditFile);
  HookRequestPayload payload = shellPayload();
  payload.cwd = QStringLiteral("/tmp");
  PendingAction action = scenarioAction(QStringLiteral("r-emit"), std::move(payload));
  action.createdAt = action.createdAt.addMSecs(-50);
  writer.recordRequest(action);
  action.status = PendingActionStatus::answered;
  writer.recordReply(action, allowOnceReply(action.requestID));
  return {};
}

SwitchOutcome auditReconcileCheck(const QString& auditFile) {
  AuditWriter& writer = AuditWriter::shared();
  writer.setAuditFile(auditFile);
  writer.reconcileOnLaunch();
  return {};
}

SwitchOutcome petStateCheck(const QString& scenario) {
  if (scenario == QLatin1String("has_pending")) {
    insert(scenarioAction(QStringLiteral("rp")));
  }
  const bool pending = !PendingActionStore::shared().waitingActions().empty();
  const PetState state = PetStateResolver::resolve({}, std::nullopt, pending);
  return SwitchOutcome::output(rawValue(state).toUtf8());
}

SwitchOutcome pendingScenarioCheck(const QString& scenario) {
  if (scenario == QLatin1String("insert_complete")) {
    return insertCompleteScenario();
  }
  if (scenario == QLatin1String("coalesce")) {
    return coalesceScenario();
  }
  if (scenario == QLatin1String("timeout")) {
    return timeoutScenario();
  }
  if (scenario == QLatin1String("agent_died")) {
    return agentDiedScenario();
  }
  return SwitchOutcome::failure("unknown scenario\n");
}

}  // namespace tandrel
