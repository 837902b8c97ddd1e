#pragma once

#include "events/tandrel_event.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace tandrel::test {

// The event of one bridge record written as JSON text; an "event_id" is required.
inline TandrelEvent bridgeEvent(const char* json) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray(json), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
  std::optional<TandrelEvent> event = TandrelEvent::fromDictionary(document.object());
  EXPECT_TRUE(event.has_value()) << json;
  return event.value_or(TandrelEvent{});
}

}  // namespace tandrel::test
