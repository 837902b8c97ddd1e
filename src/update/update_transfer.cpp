#include "update/update_transfer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

#include <functional>

namespace tandrel {
namespace {

// Runs one GET to its end, handing each piece of a 2xx body to `consume` (which may refuse it
// with a failure). Blocks the calling thread in a local event loop.
std::optional<TransferFailure> runTransfer(const QUrl& url, const TransferTimeouts& timeouts,
                                           const std::function<std::optional<TransferFailure>(QByteArray)>& consume) {
  Q_ASSERT(QCoreApplication::instance() == nullptr ||
           QThread::currentThread() != QCoreApplication::instance()->thread());
  if (!isAllowedTransferURL(url)) {
    return TransferFailure{TransferFailure::Kind::refusedURL, 0,
                           QStringLiteral("Only https addresses can be used for updates.")};
  }

  QNetworkAccessManager manager;
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
  QNetworkReply* reply = manager.get(request);

  std::optional<TransferFailure> failure;
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);

  auto statusCode = [reply]() -> std::optional<int> {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
      return std::nullopt;
    }
    return status.toInt();
  };
  auto failWith = [&](TransferFailure value) {
    if (!failure) {
      failure = std::move(value);
    }
    reply->abort();
  };

  QObject::connect(&timer, &QTimer::timeout, reply, [&] {
    failWith({TransferFailure::Kind::timedOut, 0, QStringLiteral("The request timed out.")});
  });
  QObject::connect(reply, &QNetworkReply::redirected, reply, [&](const QUrl& target) {
    if (isAllowedTransferURL(target)) {
      Q_EMIT reply->redirectAllowed();
    } else {
      failWith({TransferFailure::Kind::refusedURL, 0, QStringLiteral("The update server redirected to an address that is not allowed.")});
    }
  });
  QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
    timer.start(timeouts.idle);
  });
  QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
    timer.start(timeouts.idle);
    const std::optional<int> status = statusCode();
    if (!status || *status < 200 || *status > 299) {
      return;  // a redirect's or an error's body: not ours to keep
    }
    if (std::optional<TransferFailure> refused = consume(reply->readAll())) {
      failWith(std::move(*refused));
    }
  });
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

  timer.start(timeouts.connect);
  if (!reply->isFinished()) {
    loop.exec();
  }
  timer.stop();

  if (!failure) {
    const std::optional<int> status = statusCode();
    if (reply->error() != QNetworkReply::NoError && !(status && (*status < 200 || *status > 299))) {
      failure = TransferFailure{TransferFailure::Kind::network, 0, reply->errorString()};
    } else if (!status) {
      failure = TransferFailure{TransferFailure::Kind::invalidResponse, 0,
                                QStringLiteral("Update server returned an invalid response.")};
    } else if (*status < 200 || *status > 299) {
      failure = TransferFailure{TransferFailure::Kind::httpStatus, *status,
                                QStringLiteral("Update server returned HTTP %1.").arg(*status)};
    } else if (reply->bytesAvailable() > 0) {
      failure = consume(reply->readAll());
    }
  }
  delete reply;
  return failure;
}

}  // namespace

bool isAllowedTransferURL(const QUrl& url) {
  if (!url.isValid()) {
    return false;
  }
  const QString scheme = url.scheme().toLower();
  if (scheme == QLatin1String("https")) {
    return !url.host().isEmpty();
  }
  if (scheme != QLatin1String("http")) {
    return false;
  }
  const QString host = url.host().toLower();
  if (host == QLatin1String("localhost")) {
    return true;
  }
  const QHostAddress address(host);
  return !address.isNull() && address.isLoopback();
}

FetchedBytes fetchURLBytes(const QUrl& url, qint64 maxBytes, const TransferTimeouts& timeouts) {
  QByteArray body;
  std::optional<TransferFailure> failure =
      runTransfer(url, timeouts, [&](QByteArray piece) -> std::optional<TransferFailure> {
        if (body.size() + piece.size() > maxBytes) {
          return TransferFailure{TransferFailure::Kind::tooLarge, 0,
                                 QStringLiteral("The update server sent more than %1 bytes.").arg(maxBytes)};
        }
        body.append(piece);
        return std::nullopt;
      });
  if (failure) {
    return {std::nullopt, std::move(*failure)};
  }
  return {std::move(body), {}};
}

std::optional<TransferFailure> downloadURLToFile(const QUrl& url, const QString& path, qint64 maxBytes,
                                                 const TransferTimeouts& timeouts) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return TransferFailure{TransferFailure::Kind::file, 0, file.errorString()};
  }
  qint64 written = 0;
  std::optional<TransferFailure> failure =
      runTransfer(url, timeouts, [&](QByteArray piece) -> std::optional<TransferFailure> {
        written += piece.size();
        if (written > maxBytes) {
          return TransferFailure{TransferFailure::Kind::tooLarge, 0,
                                 QStringLiteral("The update server sent more than the %1 bytes the update feed "
                                                "names; the download was stopped.")
                                     .arg(maxBytes)};
        }
        if (file.write(piece) != piece.size()) {
          return TransferFailure{TransferFailure::Kind::file, 0, file.errorString()};
        }
        return std::nullopt;
      });
  if (!failure && !file.flush()) {
    failure = TransferFailure{TransferFailure::Kind::file, 0, file.errorString()};
  }
  file.close();
  if (failure) {
    QFile::remove(path);
  }
  return failure;
}

}  // namespace tandrel
