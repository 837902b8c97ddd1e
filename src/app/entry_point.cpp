#include "app/entry_point.h"

#include "app/overlay_controller.h"
#include "base/canonical_json.h"
#include "base/heap_memory.h"
#include "base/log.h"
#include "catalog/paths.h"
#include "platform/single_instance.h"
#include "platform/termination_signals.h"
#include "requests/agent_reply_marshaller.h"
#include "requests/pending_card_action.h"
#include "requests/socket_frame_codec.h"
#include "requests/socket_server.h"
#include "update/update_installer.h"
#include "notifications/text_input_panel.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <array>
#include <cstdio>
#include <utility>

namespace tandrel {
namespace {

constexpr std::array<std::pair<TestSwitch, const char*>, 10> kSwitches{{
    {TestSwitch::auditEmit, "--test-audit-emit"},
    {TestSwitch::auditReconcile, "--test-audit-reconcile"},
    {TestSwitch::petState, "--test-pet-state"},
    {TestSwitch::truncateInput, "--test-truncate-input"},
    {TestSwitch::cardLayout, "--test-card-layout"},
    {TestSwitch::countdown, "--test-countdown"},
    {TestSwitch::frameRoundtrip, "--test-frame-roundtrip"},
    {TestSwitch::socketServer, "--test-socket-server"},
    {TestSwitch::marshal, "--test-marshal"},
    {TestSwitch::pending, "--test-pending"},
}};

bool isSwitchName(const QString& argument) {
  for (const auto& [testSwitch, name] : kSwitches) {
    if (argument == QLatin1String(name)) {
      return true;
    }
  }
  return false;
}

void writeAll(std::FILE* stream, const QByteArray& bytes) {
  if (!bytes.isEmpty()) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  }
  std::fflush(stream);
}

int finish(const SwitchOutcome& outcome) {
  writeAll(stdout, outcome.standardOutput);
  writeAll(stderr, outcome.standardError);
  return outcome.status;
}

QByteArray readStandardInput() {
  QFile input;
  if (!input.open(stdin, QIODevice::ReadOnly)) {
    return {};
  }
  return input.readAll();
}

std::optional<QJsonObject> parseObject(const QByteArray& input) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(input, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) {
    return std::nullopt;
  }
  return document.object();
}

std::optional<QString> stringValue(const QJsonObject& object, const QString& key) {
  const QJsonValue value = object.value(key);
  return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

// ---- Switches ----

// Serves the hook socket protocol on `path` until the process is stopped.
int runSocketServerSwitch(const std::optional<QString>& path, const QProcessEnvironment& environment) {
  if (!path) {
    return finish(SwitchOutcome::failure("--test-socket-server needs a socket path after it\n"));
  }
  const QString mode = environment.contains(QStringLiteral("TANDREL_SOCKET_TEST_MODE"))
                           ? environment.value(QStringLiteral("TANDREL_SOCKET_TEST_MODE")).trimmed()
                           : QStringLiteral("echo");
  auto autoApprove = [](const HookRequest& request) {
    const PendingActionKind kind =
        pendingActionKindFromRaw(request.kind).value_or(PendingActionKind::permissionRequest);
    QString hookEventName;
    if (request.payload.extras) {
      hookEventName = request.payload.extras->value(QStringLiteral("hook_event_name"));
    }
    return AgentReplyMarshaller::rawAgentPayload(request.agent, kind, UserDecision{}, hookEventName);
  };
  // Stopping by signal still removes the socket file (the server's destructor does).
  TerminationSignals signals([](int) { QCoreApplication::quit(); });
  SocketServer server(*path, makeSocketTestModeHandler(mode, autoApprove));
  if (const std::optional<POSIXError> error = server.start()) {
    return finish(SwitchOutcome::failure("server start failed: " + error->description().toUtf8() + '\n'));
  }
  QCoreApplication::exec();
  return 0;
}

int runSwitch(int argc, char** argv, const StartMode& mode, const QProcessEnvironment& environment,
              const SelfCheckEntryPoints& selfChecks) {
  QCoreApplication app(argc, argv);
  const QString switchName = rawValue(mode.testSwitch);
  auto runBody = [&](const std::function<SwitchOutcome(const QString&)>& body) {
    if (!body) {
      return finish(SwitchOutcome::failure(switchName.toUtf8() + " is not available in this build\n"));
    }
    return finish(body(mode.lastArgument));
  };
  // The audit switches name a file to write: another switch in that place means none was given.
  auto runAuditBody = [&](const std::function<SwitchOutcome(const QString&)>& body) {
    if (isSwitchName(mode.lastArgument)) {
      return finish(
          SwitchOutcome::failure(switchName.toUtf8() + " needs an audit file path as the last argument\n"));
    }
    return runBody(body);
  };

  switch (mode.testSwitch) {
    case TestSwitch::auditEmit:
      return runAuditBody(selfChecks.auditEmit);
    case TestSwitch::auditReconcile:
      return runAuditBody(selfChecks.auditReconcile);
    case TestSwitch::petState:
      return runBody(selfChecks.petState);
    case TestSwitch::truncateInput:
      return finish(truncateInputSwitch(readStandardInput()));
    case TestSwitch::cardLayout:
      return finish(cardLayoutSwitch(readStandardInput()));
    case TestSwitch::countdown:
      return finish(countdownSwitch(mode.nextArgument));
    case TestSwitch::frameRoundtrip:
      return finish(frameRoundtripSwitch(readStandardInput()));
    case TestSwitch::socketServer:
      return runSocketServerSwitch(mode.nextArgument, environment);
    case TestSwitch::marshal:
      return finish(marshalSwitch(readStandardInput()));
    case TestSwitch::pending:
      return runBody(selfChecks.pendingScenario);
  }
  return 2;
}

// The self-tests and the fixture renderer run headless.
int runHeadless(int argc, char** argv, const std::function<int()>& body, const char* what) {
  if (!body) {
    return finish(SwitchOutcome::failure(QByteArray(what) + " is not available in this build\n"));
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  return body();
}

// ---- Normal start ----

// Picks the X11 platform on a Wayland session (overlays, global keys and window lists need it),
// unless the user chose a platform. Returns a reason when there is no display to run on.
std::optional<QString> prepareDisplay() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    return std::nullopt;
  }
  const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
  const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                       qgetenv("XDG_SESSION_TYPE") == "wayland";
  if (wayland && x11) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    return std::nullopt;
  }
  if (x11) {
    return std::nullopt;
  }
  if (wayland) {
    return QStringLiteral("cannot start: this Wayland session has no X11 display (XWayland); "
                          "DISPLAY is not set");
  }
  return QStringLiteral("cannot start: no display (DISPLAY and WAYLAND_DISPLAY are not set)");
}

int runApplication(int argc, char** argv) {
  tuneHeapForLongRuns();
  if (const std::optional<QString> problem = prepareDisplay()) {
    logWarning(*problem);
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  // One instance per user: a later launch brings the running one forward and ends.
  SingleInstance instance(tandrelHomeURL() + QStringLiteral("/instance.sock"));
  if (instance.notifyRunningInstance()) {
    logInfo(QStringLiteral("already running; the running instance shows its island"));
    return 0;
  }

  // An installer stopped half-way (machine off during a swap) left its backup beside us: this
  // build starts, so that swap is finished.
  if (const std::optional<QString> root = UpdateInstaller::currentInstallRoot()) {
    UpdateInstaller::finishInterruptedInstall(*root);
  }

  OverlayController controller;
  instance.listen([&controller] { controller.handleSecondLaunch(QCursor::pos()); });
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
                   &OverlayController::applicationWillTerminate);
  controller.applicationDidFinishLaunching();
  QApplication::exec();
  return 0;
}

}  // namespace

QString rawValue(TestSwitch testSwitch) {
  for (const auto& [candidate, name] : kSwitches) {
    if (candidate == testSwitch) {
      return QString::fromLatin1(name);
    }
  }
  return {};
}

bool computeTestEnvironment(const QProcessEnvironment& environment) {
  auto isOne = [&](const char* name) { return environment.value(QLatin1String(name)) == QLatin1String("1"); };
  if (isOne("TANDREL_RENDER_LIVE_DATA")) {
    return false;
  }
  return isOne("TANDREL_TEST_MODE") || isOne("TANDREL_RUN_SELF_TESTS") ||
         environment.contains(QStringLiteral("TANDREL_RENDER_FIXTURES"));
}

StartMode selectStartMode(const QStringList& arguments, const QProcessEnvironment& environment) {
  StartMode mode;
  if (environment.value(QStringLiteral("TANDREL_RUN_SELF_TESTS")) == QLatin1String("1")) {
    mode.kind = StartMode::Kind::selfTests;
    return mode;
  }
  if (environment.contains(QStringLiteral("TANDREL_RENDER_FIXTURES"))) {
    mode.kind = StartMode::Kind::fixtures;
    mode.fixturesDirectory = environment.value(QStringLiteral("TANDREL_RENDER_FIXTURES"));
    return mode;
  }
  for (const auto& [testSwitch, name] : kSwitches) {
    const qsizetype index = arguments.indexOf(QLatin1String(name));
    if (index < 0) {
      continue;
    }
    mode.kind = StartMode::Kind::testSwitch;
    mode.testSwitch = testSwitch;
    mode.lastArgument = arguments.last();
    if (index + 1 < arguments.size()) {
      mode.nextArgument = arguments.at(index + 1);
    }
    return mode;
  }
  return mode;
}

SwitchOutcome truncateInputSwitch(const QByteArray& input) {
  const TextInputPanel::Truncation result = TextInputPanel::truncate(QString::fromUtf8(input));
  QJsonObject report{{QStringLiteral("length"), static_cast<qint64>(result.text.toUtf8().size())},
                     {QStringLiteral("truncated"), result.truncated}};
  return SwitchOutcome::output(canonicalJson(report));
}

SwitchOutcome cardLayoutSwitch(const QByteArray& input) {
  const std::optional<QJsonObject> object = parseObject(input);
  const std::optional<QString> kindText =
      object ? stringValue(*object, QStringLiteral("kind")) : std::nullopt;
  const std::optional<PendingActionKind> kind =
      kindText ? pendingActionKindFromRaw(*kindText) : std::nullopt;
  const QJsonValue agentCanAlways = object ? object->value(QStringLiteral("agentCanAlways")) : QJsonValue();
  if (!kind || !agentCanAlways.isBool()) {
    return SwitchOutcome::failure(
        "card layout input must be a JSON object with \"kind\" (permission_request, waiting_choice "
        "or waiting_input) and \"agentCanAlways\" (true or false)\n");
  }
  QJsonArray actions;
  for (const PendingCardAction action : pendingCardActions(*kind, agentCanAlways.toBool())) {
    actions.append(rawValue(action));
  }
  return SwitchOutcome::output(canonicalJson(actions));
}

SwitchOutcome countdownSwitch(const std::optional<QString>& argument) {
  if (!argument) {
    return SwitchOutcome::failure("--test-countdown needs a number of seconds after it\n");
  }
  static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
  qint64 seconds = 0;
  if (decimal.match(*argument).hasMatch()) {
    bool ok = false;
    const qint64 parsed = argument->toLongLong(&ok, 10);
    seconds = ok ? parsed : 0;  // out of range counts as unparsable
  }
  return SwitchOutcome::output(countdownLabel(seconds).toUtf8());
}

SwitchOutcome frameRoundtripSwitch(QByteArray input) {
  if (!input.endsWith('\n')) {
    input.append('\n');
  }
  const FrameResult<HookRequest> request = SocketFrameCodec::decodeRequest(input);
  if (!request) {
    return SwitchOutcome::failure("frame decode failed: " + request.error().description().toUtf8() + '\n');
  }
  return SwitchOutcome::output(SocketFrameCodec::encode(request.value()));
}

SwitchOutcome marshalSwitch(const QByteArray& input) {
  const SwitchOutcome bad = SwitchOutcome::failure("bad input\n");
  const std::optional<QJsonObject> object = parseObject(input);
  if (!object || !object->value(QStringLiteral("decision")).isObject()) {
    return bad;
  }
  const std::optional<QString> agent = stringValue(*object, QStringLiteral("agent"));
  const std::optional<QString> kindText = stringValue(*object, QStringLiteral("kind"));
  const std::optional<PendingActionKind> kind = kindText ? pendingActionKindFromRaw(*kindText) : std::nullopt;
  const QJsonObject decisionObject = object->value(QStringLiteral("decision")).toObject();
  const std::optional<QString> verbText = stringValue(decisionObject, QStringLiteral("verb"));
  const std::optional<QString> modeText = stringValue(decisionObject, QStringLiteral("mode"));
  const std::optional<UserDecision::Verb> verb = verbText ? userDecisionVerbFromRaw(*verbText) : std::nullopt;
  const std::optional<UserDecision::Mode> mode = modeText ? userDecisionModeFromRaw(*modeText) : std::nullopt;
  if (!agent || !kind || !verb || !mode) {
    return bad;
  }
  UserDecision decision;
  decision.verb = *verb;
  decision.mode = *mode;
  const QJsonValue text = decisionObject.value(QStringLiteral("text"));
  if (text.isString()) {
    decision.text = text.toString();
  } else if (!text.isUndefined() && !text.isNull()) {
    return bad;
  }
  const QJsonValue extras = decisionObject.value(QStringLiteral("extras"));
  QString hookEventName;
  if (extras.isObject()) {
    const QJsonObject entries = extras.toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
      if (!it.value().isString()) {
        return bad;
      }
    }
    if (entries.contains(QStringLiteral("option_id"))) {
      decision.optionID = entries.value(QStringLiteral("option_id")).toString();
    }
    // The hook event that raised the request, as the request's payload extras carry it: it
    // chooses among an agent's reply shapes (Stop, PermissionRequest, …).
    hookEventName = entries.value(QStringLiteral("hook_event_name")).toString();
  } else if (!extras.isUndefined() && !extras.isNull()) {
    return bad;
  }
  return SwitchOutcome::output(
      AgentReplyMarshaller::rawAgentPayload(*agent, *kind, decision, hookEventName).toUtf8());
}

int runEntryPoint(int argc, char** argv, const SelfCheckEntryPoints& selfChecks) {
  const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  setTestEnvironment(computeTestEnvironment(environment));

  QStringList arguments;
  for (int index = 1; index < argc; ++index) {
    arguments.append(QString::fromLocal8Bit(argv[index]));
  }
  // What an update installer asks of a new build, before anything else starts.
  if (arguments.value(0) == QLatin1String("--version")) {
    return finish(SwitchOutcome::output(UpdateInstaller::versionLine()));
  }
  if (arguments.value(0) == QLatin1String("--verify-update-signature")) {
    return UpdateInstaller::verifySignatureCommand(arguments.mid(1));
  }
  const StartMode mode = selectStartMode(arguments, environment);
  switch (mode.kind) {
    case StartMode::Kind::selfTests:
      return runHeadless(argc, argv, selfChecks.runSelfTests, "self-test mode");
    case StartMode::Kind::fixtures: {
      const std::function<int(const QString&)>& render = selfChecks.renderFixtures;
      return runHeadless(
          argc, argv, render ? std::function<int()>([&] { return render(mode.fixturesDirectory); }) : nullptr,
          "fixture rendering");
    }
    case StartMode::Kind::testSwitch:
      return runSwitch(argc, argv, mode, environment, selfChecks);
    case StartMode::Kind::normal:
      return runApplication(argc, argv);
  }
  return 2;
}

}  // namespace tandrel
