#pragma once

// A fresh Ed25519 key pair for signing update fixtures, the way scripts/package signs releases.

#include <QByteArray>
#include <QString>

#include <sodium.h>

namespace tandrel::test {

struct TestSigningKey {
  TestSigningKey() {
    if (sodium_init() < 0) {
      return;
    }
    publicKey.resize(crypto_sign_PUBLICKEYBYTES);
    secretKey.resize(crypto_sign_SECRETKEYBYTES);
    crypto_sign_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
                        reinterpret_cast<unsigned char*>(secretKey.data()));
  }

  // The detached signature of `bytes`, base64.
  QString sign(const QByteArray& bytes) const {
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(bytes.constData()),
                         static_cast<unsigned long long>(bytes.size()),
                         reinterpret_cast<const unsigned char*>(secretKey.constData()));
    return QString::fromLatin1(signature.toBase64());
  }

  QByteArray publicKey;
  QByteArray secretKey;
};

}  // namespace tandrel::test
