#pragma once

#include "events/tandrel_event.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <optional>

// The two ways one line of the bridge file becomes an event. TandrelEvent::fromBridgeLine reads a
// line straight from its JSON text and leaves the few lines that reader is not sure about to
// QJsonDocument; for every line the direct reader accepts, both give the same event.

namespace tandrel {

struct DirectBridgeLine {
  bool read = false;                  // false: the line is left to readBridgeLineThroughDocument
  std::optional<TandrelEvent> event;  // the line's event, when it was read and is one
  // Not read because it certainly is no JSON object: no event, and no second parse is needed.
  bool malformed = false;
};

// Reads a line without building a JSON document (see BridgeFields::fromJsonText). `now` is the
// time usage readings are aged against; without it, the current time.
DirectBridgeLine readBridgeLineDirectly(QByteArrayView line, const std::optional<QDateTime>& now = std::nullopt);

// Reads a line through QJsonDocument. Numbers that Qt refuses (NaN, infinities, values beyond a
// double's range) are read as null, an underflow as 0, rather than costing the whole record.
std::optional<TandrelEvent> readBridgeLineThroughDocument(const QByteArray& line,
                                                          const std::optional<QDateTime>& now = std::nullopt);

}  // namespace tandrel
