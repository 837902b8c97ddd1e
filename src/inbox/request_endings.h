#pragma once

// How a request that an agent raised ends on the island. A request shows up twice: as the bridge
// record the hook scripts append (the card) and, when the agent also blocks on the app's socket,
// as a pending action. Both carry one request key. When the pending action ends, however it ends,
// the app appends an ending record with that key to the bridge file, so that the card stops
// asking for the user, also after a restart. A request record with no pending action waiting
// behind it (the app was not running, or the agent's own prompt took it) ends once its session
// goes on: a later lifecycle record of the same session.

#include "events/tandrel_event.h"
#include "requests/pending_action.h"

#include <QDateTime>
#include <QJsonObject>
#include <QSet>
#include <QString>

#include <vector>

namespace tandrel {

// The event type of the ending record.
inline const QString kRequestEndedEventType = QStringLiteral("request_ended");
// The outcome of a request whose session went on without an answer from the app.
inline const QString kAgentMovedOnOutcome = QStringLiteral("The agent moved on");

// The outcome of an ended pending action in words: "Approved in Tandrel", "Denied in Tandrel",
// "Answered in Tandrel", "Timed out — answered in the terminal", ….
QString requestOutcomeText(const PendingAction& ended);

// The bridge record that tells the store the request of `ended` is over: its agent, session and
// request key, the final status and the outcome in words; silent, so it never reminds. Nothing
// for an action whose client sent no request key (no card can be tied to it).
std::optional<QJsonObject> requestEndingRecord(const PendingAction& ended, const QDateTime& now);

// Sets `requestOutcome` on every record (of `events`, in bridge order) of a request that has
// ended: a record with the key of a later ending record takes that record's outcome; a permission
// record whose key no waiting action holds (`waitingKeys`) and that has no answer channel of its
// own (decision file or command) takes kAgentMovedOnOutcome once a later record of its session is
// a lifecycle record (any reminder kind but none) at least as new. Only records the user would
// have been asked about (human-facing requests) change.
void applyRequestEndings(std::vector<TandrelEvent>& events, const QSet<QString>& waitingKeys);

}  // namespace tandrel
