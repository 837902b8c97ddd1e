// Lines of the bridge file as the store reads them, into the inbox, the companion's status and the
// pet's state. The direct reader gives the same event as the document reader for every line it
// reads; the inbox never has more cards than active events, nor more approvals than cards.
#include "fuzz_target.h"

#include "attention/companion_status.h"
#include "attention/pet_state.h"
#include "events/bridge_line_reader.h"
#include "inbox/island_message.h"

#include <QSet>

#include <vector>

TANDREL_FUZZ_TARGET(bridge_lines) {
  using namespace tandrel;
  const QDateTime now = QDateTime::fromMSecsSinceEpoch(1778331360000, Qt::UTC);
  std::vector<TandrelEvent> events;
  for (const QByteArray& line : fuzz::bytes(data, size).split('\n')) {
    const DirectBridgeLine direct = readBridgeLineDirectly(line, now);
    const auto throughDocument = readBridgeLineThroughDocument(line, now);
    if (direct.read) {
      FUZZ_CHECK(direct.event == throughDocument, QString::fromUtf8(line));
    } else if (direct.malformed) {
      FUZZ_CHECK(!throughDocument.has_value(), QString::fromUtf8(line));
    }
    if (throughDocument) {
      events.push_back(*throughDocument);
    }
  }
  const InboxMessages inbox = buildIslandMessages(events, {}, {}, {now, nullptr, nullptr});
  FUZZ_CHECK(inbox.messages.size() <= inbox.sortedActiveEvents.size(), QString());
  FUZZ_CHECK(inbox.approvalCount >= 0 &&
                 static_cast<size_t>(inbox.approvalCount) <= inbox.messages.size(),
             QString());
  FUZZ_CHECK(inbox.latestEvent.has_value() == !events.empty(), QString());
  (void)companionStatusItem(events);
  (void)PetStateResolver::resolve(events, std::nullopt, false);
  return 0;
}
