#include "update/update_signature.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using namespace UpdateSignature;

TEST(UpdateSignature, AFixtureKeySignsWhatOnlyItsOwnPublicKeyAccepts) {
  test::TempHome home;
  const SigningKeyPair key = SigningKeyPair::generate();
  const SigningKeyPair stranger = SigningKeyPair::generate();
  ASSERT_EQ(key.publicKey.size(), 32);
  ASSERT_NE(key.publicKey, stranger.publicKey);
  ASSERT_TRUE(test::writeFile(home.file("artifact.zip"), "artifact"));
  ASSERT_TRUE(test::writeFile(home.file("empty.zip"), ""));

  const struct {
    const char* name;
    QString file;
    QString signature;
    QByteArray publicKey;
    bool verifies;
  } cases[] = {
      {"its own signature", home.file("artifact.zip"), key.sign("artifact"), key.publicKey, true},
      {"an empty file", home.file("empty.zip"), key.sign(""), key.publicKey, true},
      {"another file's signature", home.file("artifact.zip"), key.sign("artifacT"), key.publicKey, false},
      {"another key's signature", home.file("artifact.zip"), stranger.sign("artifact"), key.publicKey, false},
      {"checked against another key", home.file("artifact.zip"), key.sign("artifact"), stranger.publicKey, false},
      {"no key pair", home.file("artifact.zip"), SigningKeyPair{}.sign("artifact"), key.publicKey, false},
      {"a missing file", home.file("none.zip"), key.sign("artifact"), key.publicKey, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(verifyFile(c.file, c.signature, c.publicKey), c.verifies) << c.name;
  }
  EXPECT_EQ(decodedPublicKey(QString::fromLatin1(key.publicKey.toBase64())), key.publicKey);
}

}  // namespace
}  // namespace tandrel
