#pragma once

// The signature that makes an update trustworthy. A release zip is signed with the maker's
// Ed25519 key (scripts/package); the feed carries the detached signature beside the artifact's
// address, and only an artifact whose signature checks against the public key compiled into this
// build is installed. The feed's own "signed" flag and its SHA-256 say nothing about who made the
// artifact: whoever controls the feed writes them.

#include <QByteArray>
#include <QString>

#include <optional>

namespace tandrel {

namespace UpdateSignature {

// The public key this build trusts (32 bytes), from the TANDREL_UPDATE_PUBLIC_KEY build setting
// (base64); nothing in a build made without one, which then installs no updates.
std::optional<QByteArray> builtInPublicKey();

// A key or a signature written in base64, decoded when it has the expected length.
std::optional<QByteArray> decodedPublicKey(const QString& base64);
std::optional<QByteArray> decodedSignature(const QString& base64);

// True when `signatureBase64` is a valid Ed25519 signature of the whole file by `publicKey`.
// False for an unreadable file, a malformed signature or key, or a signature by another key.
bool verifyFile(const QString& path, const QString& signatureBase64, const QByteArray& publicKey);

// A fresh key pair for signing fixtures: the self-checks and the tests sign their artifacts with
// one and hand its public key to the About flow's `updatePublicKey`. Releases are signed by
// scripts/package with the maker's key, never with one of these.
struct SigningKeyPair {
  QByteArray publicKey;  // 32 bytes; empty when the crypto library could not start
  QByteArray secretKey;  // 64 bytes

  static SigningKeyPair generate();
  // The detached signature of `bytes`, base64; empty without a key.
  QString sign(const QByteArray& bytes) const;
};

}  // namespace UpdateSignature

}  // namespace tandrel
