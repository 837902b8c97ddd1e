#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

namespace tandrel {

// The one JSON writer for everything the app writes for agents and logs: socket frames,
// agent payloads, audit lines, answer payloads and diagnostics.
//
// Compact (no white space), object keys in UTF-8 byte order at every level, text as UTF-8 with
// "/" written as "\/" and control characters escaped, integers exact to 64 bits, doubles in
// their shortest round-trip form (non-finite doubles, which JSON cannot hold, become null).
QByteArray canonicalJson(const QJsonValue& value);
QByteArray canonicalJson(const QJsonObject& object);
QByteArray canonicalJson(const QJsonArray& array);

// The same followed by one line feed: one record of a JSON-lines file or socket stream.
QByteArray canonicalJsonLine(const QJsonValue& value);
QByteArray canonicalJsonLine(const QJsonObject& object);

}  // namespace tandrel
