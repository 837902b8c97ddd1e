#pragma once

#include "requests/response_channel.h"

#include <QHash>
#include <QString>

#include <optional>

namespace tandrel {

// The receipts of the answers delivered to agents, one per answered event: a newer receipt for the
// same event replaces the older one. It lives in memory only; the store fills it again from the
// bridge file's receipt records on every publish, and the message-action dispatcher adds the
// receipts of the answers it delivers. Main thread only.
class ResponseReceiptStore {
 public:
  void record(const ResponseReceipt& receipt);

  // The stored receipt of an event, or nothing.
  std::optional<ResponseReceipt> latestReceipt(const QString& eventID) const;

  const QHash<QString, ResponseReceipt>& receiptsByEventID() const { return receiptsByEventID_; }

 private:
  QHash<QString, ResponseReceipt> receiptsByEventID_;
};

}  // namespace tandrel
