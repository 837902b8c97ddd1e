#pragma once

#include <QString>

// Functional tests of what leaves the inbox and what enters it. Each writes its files in
// `tempRoot` under names of its own and returns true when everything it expects holds.

namespace tandrel {

// Mark Read, Ignore, a Jump that opened and an approval each take their card out of the inbox;
// the Jump and the approval leave their events read; clearing the history brings all four back.
bool eventStoreReadIgnoreStateFunctionalTest(const QString& tempRoot);

// Of thirteen kinds of events only a permission request, a choice and two completions with
// something to say become cards; the first two count as approvals and the companion shows the
// permission request.
bool eventStoreMessageReminderAdmissionFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
