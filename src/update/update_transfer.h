#pragma once

// Blocking HTTP transfers for the update feed and artifacts. Each call runs its own
// QNetworkAccessManager and event loop on the calling thread, which must not be the main thread.
// Only https is fetched, plus http on a loopback address (a local test server); redirects must
// stay within the same rule.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

namespace tandrel {

struct TransferTimeouts {
  // From the start of the request until the response's headers arrive.
  std::chrono::milliseconds connect{15000};
  // The longest silence between two pieces of the body.
  std::chrono::milliseconds idle{30000};
};

struct TransferFailure {
  enum class Kind {
    refusedURL,     // not https, nor http on loopback
    network,        // the transfer failed (connection, TLS, an aborted redirect)
    timedOut,       // connect or idle time-out
    httpStatus,     // a status outside 200 to 299
    invalidResponse,  // no HTTP status
    tooLarge,       // the body passed the caller's limit
    file,           // the destination could not be written
  };
  Kind kind = Kind::network;
  int httpStatus = 0;
  // A readable description ("The request timed out.", the network error's text…).
  QString description;
};

// https, or http whose host is a loopback address ("localhost", 127.0.0.0/8, ::1).
bool isAllowedTransferURL(const QUrl& url);

// The body of a GET, at most `maxBytes`.
struct FetchedBytes {
  std::optional<QByteArray> body;
  TransferFailure failure;
};
FetchedBytes fetchURLBytes(const QUrl& url, qint64 maxBytes, const TransferTimeouts& timeouts = {});

// Streams the body of a GET into `path` (created or truncated), stopping with tooLarge once it
// passes `maxBytes`. On failure the file is removed.
std::optional<TransferFailure> downloadURLToFile(const QUrl& url, const QString& path, qint64 maxBytes,
                                                 const TransferTimeouts& timeouts = {});

}  // namespace tandrel
