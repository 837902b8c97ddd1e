#include "update/update_signature.h"

#include <QFile>

#include <sodium.h>

#ifndef TANDREL_UPDATE_PUBLIC_KEY
#define TANDREL_UPDATE_PUBLIC_KEY ""
#endif

namespace tandrel {

namespace UpdateSignature {

namespace {

std::optional<QByteArray> decodedBase64(const QString& text, qsizetype length) {
  const QByteArray::FromBase64Result decoded =
      QByteArray::fromBase64Encoding(text.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded || decoded.decoded.size() != length) {
    return std::nullopt;
  }
  return decoded.decoded;
}

bool sodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

}  // namespace

std::optional<QByteArray> decodedPublicKey(const QString& base64) {
  return decodedBase64(base64, crypto_sign_PUBLICKEYBYTES);
}

std::optional<QByteArray> decodedSignature(const QString& base64) {
  return decodedBase64(base64, crypto_sign_BYTES);
}

std::optional<QByteArray> builtInPublicKey() {
  return decodedPublicKey(QStringLiteral(TANDREL_UPDATE_PUBLIC_KEY));
}

bool verifyFile(const QString& path, const QString& signatureBase64, const QByteArray& publicKey) {
  const std::optional<QByteArray> signature = decodedSignature(signatureBase64);
  if (!signature || publicKey.size() != crypto_sign_PUBLICKEYBYTES || !sodiumReady()) {
    return false;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return false;
  }
  // Mapped rather than read: a release zip of tens of megabytes is not copied onto the heap.
  const qint64 size = file.size();
  const uchar* bytes = size > 0 ? file.map(0, size) : nullptr;
  if (size > 0 && bytes == nullptr) {
    return false;
  }
  static const unsigned char empty = 0;
  const int result = crypto_sign_verify_detached(
      reinterpret_cast<const unsigned char*>(signature->constData()), bytes != nullptr ? bytes : &empty,
      static_cast<unsigned long long>(size), reinterpret_cast<const unsigned char*>(publicKey.constData()));
  return result == 0;
}

SigningKeyPair SigningKeyPair::generate() {
  SigningKeyPair pair;
  if (!sodiumReady()) {
    return pair;
  }
  pair.publicKey.resize(crypto_sign_PUBLICKEYBYTES);
  pair.secretKey.resize(crypto_sign_SECRETKEYBYTES);
  crypto_sign_keypair(reinterpret_cast<unsigned char*>(pair.publicKey.data()),
                      reinterpret_cast<unsigned char*>(pair.secretKey.data()));
  return pair;
}

QString SigningKeyPair::sign(const QByteArray& bytes) const {
  if (secretKey.size() != crypto_sign_SECRETKEYBYTES) {
    return {};
  }
  QByteArray signature(crypto_sign_BYTES, '\0');
  crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                       reinterpret_cast<const unsigned char*>(bytes.constData()),
                       static_cast<unsigned long long>(bytes.size()),
                       reinterpret_cast<const unsigned char*>(secretKey.constData()));
  return QString::fromLatin1(signature.toBase64());
}

}  // namespace UpdateSignature

}  // namespace tandrel
