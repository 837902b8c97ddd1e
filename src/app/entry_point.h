#pragma once

// The process entry point: the program-wide settings, the test-environment flag, and the choice
// between the self-test run, the fixture renderer, one of the command-line test switches and the
// normal start of the application.

#include "events/event_store.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace tandrel {

// Settings fixed for the whole run; read-only everywhere. Intervals the event store reads are
// its own constants and are only named here.
struct GlobalSettings {
  static constexpr std::chrono::seconds kAutomaticUpdateInterval{43200};
  static constexpr std::chrono::seconds kAutomaticUpdateInitialDelay{30};
  static constexpr std::chrono::milliseconds kRuntimeRefreshTimerInterval{2000};
  static constexpr std::chrono::milliseconds kRuntimeRefreshTimerTolerance{1000};
  static constexpr std::chrono::milliseconds kBridgeMetadataCheckThrottle =
      EventStore::kBridgeMetadataCheckInterval;
  static constexpr std::chrono::milliseconds kBridgeReloadDebounce = EventStore::kBridgeReloadDebounce;
  static constexpr std::chrono::milliseconds kLocalUsageRescanInterval =
      EventStore::kLocalUsageRescanInterval;
  static constexpr std::chrono::milliseconds kHotplugRescanInterval =
      EventStore::kLocalHotplugRescanInterval;
  static constexpr std::chrono::milliseconds kCompanionMotionTimerInterval{160};

  // User-defaults keys of the automatic update schedule and the start-up prompts.
  static constexpr char kLastAutoUpdateCheckAtKey[] = "lastAutoUpdateCheckAt";
  static constexpr char kLastNotifiedUpdateVersionKey[] = "lastNotifiedUpdateVersion";
  static constexpr char kStartupAutomationPreflightCompletedKey[] = "startupAutomationPreflightCompleted";
  static constexpr char kStartupAutomationPromptRequestedKey[] = "startupAutomationPromptRequested";

  static constexpr char kDefaultSoundID[] = "moonlight-sonata";
  // The island's title and its text while no agent event has arrived.
  static constexpr char kIslandTitle[] = "Tandrel \u00b7 agent pulse";
  static constexpr char kIslandIdleText[] = "All clear \u00b7 waiting for agent events";
};

// The test-environment flag of a process environment: false when TANDREL_RENDER_LIVE_DATA is
// "1"; otherwise true when TANDREL_TEST_MODE or TANDREL_RUN_SELF_TESTS is "1", or when
// TANDREL_RENDER_FIXTURES is present at all (even empty).
bool computeTestEnvironment(const QProcessEnvironment& environment);

// The command-line test switches, in the order they are tested.
enum class TestSwitch {
  auditEmit,        // "--test-audit-emit"
  auditReconcile,   // "--test-audit-reconcile"
  petState,         // "--test-pet-state"
  truncateInput,    // "--test-truncate-input"
  cardLayout,       // "--test-card-layout"
  countdown,        // "--test-countdown"
  frameRoundtrip,   // "--test-frame-roundtrip"
  socketServer,     // "--test-socket-server"
  marshal,          // "--test-marshal"
  pending,          // "--test-pending"
};

QString rawValue(TestSwitch testSwitch);

// How this process runs.
struct StartMode {
  enum class Kind { selfTests, fixtures, testSwitch, normal };

  Kind kind = Kind::normal;
  // fixtures: the folder named by TANDREL_RENDER_FIXTURES (may be empty).
  QString fixturesDirectory;
  // testSwitch: which one, the last argument, and the argument after the switch's first
  // occurrence (none when the switch is the last argument).
  TestSwitch testSwitch = TestSwitch::auditEmit;
  QString lastArgument;
  std::optional<QString> nextArgument;
};

// The mode for the command-line arguments (without the program name) and the environment:
// self-tests when TANDREL_RUN_SELF_TESTS is "1"; else fixtures when TANDREL_RENDER_FIXTURES is
// present; else the first switch, in the order above, present anywhere among the arguments; else
// the normal start.
StartMode selectStartMode(const QStringList& arguments, const QProcessEnvironment& environment);

// What a test switch ends with: the exit status and what it writes (only one of the two streams
// has text: standard output on success, standard error on failure).
struct SwitchOutcome {
  int status = 0;
  QByteArray standardOutput;
  QByteArray standardError;

  static SwitchOutcome output(QByteArray bytes) { return {0, std::move(bytes), {}}; }
  static SwitchOutcome failure(QByteArray message) { return {2, {}, std::move(message)}; }
};

// The switches whose bodies live here. Each takes what the switch reads (standard input or the
// next argument) and runs on the main thread.

// "--test-truncate-input": standard input as UTF-8 (invalid sequences replaced) through
// TextInputPanel::truncate; writes {"length": <UTF-8 bytes kept>, "truncated": <flag>}.
SwitchOutcome truncateInputSwitch(const QByteArray& input);
// "--test-card-layout": {"kind": <pending-action kind>, "agentCanAlways": <flag>}; writes the
// card's actions as a JSON array of their raw values.
SwitchOutcome cardLayoutSwitch(const QByteArray& input);
// "--test-countdown": the next argument as a signed decimal integer (unparsable counts as 0);
// writes the countdown label without a line break.
SwitchOutcome countdownSwitch(const std::optional<QString>& argument);
// "--test-frame-roundtrip": one request frame (a line feed is added when the input lacks one),
// written back as its encoded frame.
SwitchOutcome frameRoundtripSwitch(QByteArray input);
// "--test-marshal": {"agent": <text>, "kind": <pending-action kind>, "decision": {"verb": ...,
// "mode": ..., "text": <optional text>, "extras": <optional object of texts, whose "option_id"
// names the chosen option>}}; writes the agent payload for the answer.
SwitchOutcome marshalSwitch(const QByteArray& input);

// The bodies that the built-in self-checks provide. An empty function is a mode this build does
// not have: it says so on standard error and the process ends with status 2.
struct SelfCheckEntryPoints {
  std::function<int()> runSelfTests;
  std::function<int(const QString& directory)> renderFixtures;
  std::function<SwitchOutcome(const QString& auditFile)> auditEmit;
  std::function<SwitchOutcome(const QString& auditFile)> auditReconcile;
  std::function<SwitchOutcome(const QString& argument)> petState;
  std::function<SwitchOutcome(const QString& scenario)> pendingScenario;
};

// The whole life of the process: computes the test-environment flag, runs the selected mode and
// returns the exit status.
int runEntryPoint(int argc, char** argv, const SelfCheckEntryPoints& selfChecks);


}  // namespace tandrel
