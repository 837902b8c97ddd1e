#include "events/response_receipt_store.h"

namespace tandrel {

void ResponseReceiptStore::record(const ResponseReceipt& receipt) {
  receiptsByEventID_.insert(receipt.eventID, receipt);
}

std::optional<ResponseReceipt> ResponseReceiptStore::latestReceipt(const QString& eventID) const {
  const auto found = receiptsByEventID_.constFind(eventID);
  if (found == receiptsByEventID_.constEnd()) {
    return std::nullopt;
  }
  return *found;
}

}  // namespace tandrel
