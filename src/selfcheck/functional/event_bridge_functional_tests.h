#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The bridge record format seen from both ends: a record as a hook writes it parses into an event
// with its choices, response file and note; and the event-bridge script the hook manager installs,
// run as agents run it, writes records that parse the same way, with its string "false" turned
// into a JSON false and the terminal and cmux identity of its environment.

namespace tandrel {

// A hand-built waiting-input record with two options and a response object parses into an event
// with both options, the response file "/tmp/tandrel-choice.json" and the note placeholder.
bool eventBridgeChoicePayloadFunctionalTest();

// Runs the installed event-bridge script four times under a fake home in
// `tempRoot`/"bridge-smoke-<uuid>" (a JSON payload, the command-line flags, cmux variables, a
// WezTerm terminal) and reads back the four records it appended.
bool eventBridgeExecutableFunctionalTest(const QString& tempRoot);

// Runs `script` with `arguments` and the app's environment without the bridge file, the terminal
// and display identity of the machine and the XDG data and cache folders, with HOME set to
// `home` and `extraEnvironment` added; true when it exits with status 0 within 10 s. Its standard
// output is dropped, its standard error passed on.
bool runEventBridgeScriptForTests(const QString& script, const QString& home, const QStringList& arguments,
                                  const QMap<QString, QString>& extraEnvironment);

}  // namespace tandrel
