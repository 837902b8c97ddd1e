#pragma once

#include <QString>

// Functional tests of answering agents: the message action dispatcher on its own, a choice card
// of the store and answering it, and receipts an adapter reports through the bridge file. Each
// writes its files in `tempRoot` under names of its own and returns true when everything it
// expects holds.

namespace tandrel {

// File channels get compact JSON payloads and submitted receipts; no channel fails with a failed
// receipt; a command channel is refused without trust, never runs, and the refusal is recorded.
bool messageActionDispatcherFunctionalTest(const QString& tempRoot);

// A choice request becomes a normalized choice card with its options in order, its response file
// and only Jump and Ignore as buttons; a task failure beside it makes no card.
bool eventStoreChoiceMessageFunctionalTest(const QString& tempRoot);

// An answered choice writes the option and the note, is audited and leaves the inbox; a choice
// without a channel fails, is audited as failed, stays and leaves the revision as it was.
bool eventStoreChoiceDispatchFunctionalTest(const QString& tempRoot);

// A failed receipt in the bridge file is recorded against the choice it answers; neither the
// receipt record nor the integration notice it raises becomes a card; the choice's card stays.
bool responseReceiptIngestionFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
