#include "platform/linux/pulse_sound_output.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QtEndian>

#include "support/temp_home.h"
#include "support/wait.h"

namespace tandrel {
namespace {

// A mono 16-bit PCM WAV file of `frames` silent frames.
QByteArray wavFile(int sampleRate, int frames) {
  QByteArray out;
  auto u32 = [&](quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
  };
  auto u16 = [&](quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
  };
  const quint32 dataBytes = static_cast<quint32>(frames) * 2;
  out.append("RIFF");
  u32(36 + dataBytes);
  out.append("WAVEfmt ");
  u32(16);
  u16(1);  // PCM
  u16(1);  // mono
  u32(static_cast<quint32>(sampleRate));
  u32(static_cast<quint32>(sampleRate) * 2);
  u16(2);
  u16(16);
  out.append("data");
  u32(dataBytes);
  out.append(QByteArray(static_cast<int>(dataBytes), '\0'));
  return out;
}

TEST(PulseSoundOutputTest, OpensAudioFilesWithTheirLengthAndRefusesOthers) {
  test::TempHome home;
  ASSERT_TRUE(test::writeFile(home.file("cue.wav"), wavFile(8000, 12000)));
  ASSERT_TRUE(test::writeFile(home.file("fake.m4a"), QByteArray("not audio at all")));
  ASSERT_TRUE(test::writeFile(home.file("empty.wav"), QByteArray()));
  PulseSoundOutput output("Tandrel tests");

  const auto sound = output.open(home.file("cue.wav"));
  ASSERT_NE(sound, nullptr);
  EXPECT_DOUBLE_EQ(sound->duration(), 1.5);
  EXPECT_DOUBLE_EQ(sound->currentTime(), 0.0);
  sound->setCurrentTime(0.25);
  EXPECT_DOUBLE_EQ(sound->currentTime(), 0.25);

  for (const char* name : {"fake.m4a", "empty.wav", "missing.wav"}) {
    EXPECT_EQ(output.open(home.file(name)), nullptr) << name;
  }
}

TEST(PulseSoundOutputTest, WithoutAnAudioServerPlayingFailsAtOnceAndTheWorkerEnds) {
  test::TempHome home;
  ASSERT_TRUE(test::writeFile(home.file("cue.wav"), wavFile(8000, 8000)));
  home.setEnv("PULSE_SERVER", "unix:" + home.file("no-server/native").toUtf8());
  PulseSoundOutput output("Tandrel tests");
  const auto sound = output.open(home.file("cue.wav"));
  ASSERT_NE(sound, nullptr);

  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(sound->play());
  EXPECT_LT(timer.elapsed(), 300);  // answered by the refused connection, not by the wait limit
  EXPECT_FALSE(sound->play()) << "a sound plays once";
  sound->stop();
  EXPECT_TRUE(test::waitUntil([] { return PulseSoundOutput::runningWorkerCountForTests() == 0; }));
}

}  // namespace
}  // namespace tandrel
