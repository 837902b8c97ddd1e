#pragma once

#include "platform/sound_output.h"

#include <QMap>
#include <QStringList>

#include <memory>
#include <vector>

namespace tandrel {

// A sound that records what was asked of it.
class FakeSound : public Sound {
 public:
  FakeSound(QString path, double duration, bool playSucceeds)
      : path(std::move(path)), duration_(duration), playSucceeds_(playSucceeds) {}

  double duration() const override { return duration_; }
  double currentTime() const override { return currentTime_; }
  void setCurrentTime(double seconds) override { currentTime_ = seconds; }
  bool play() override {
    ++playCount;
    return playSucceeds_;
  }
  void stop() override { ++stopCount; }

  const QString path;
  int playCount = 0;
  int stopCount = 0;

 private:
  double duration_;
  double currentTime_ = 0;
  bool playSucceeds_;
};

// Opens only the files a test registered, with the length it gave; play() succeeds unless the
// test said otherwise (as without an audio server).
class FakeSoundOutput : public SoundOutput {
 public:
  std::shared_ptr<Sound> open(const QString& path) override {
    openedPaths.append(path);
    const auto found = durations.constFind(path);
    if (found == durations.constEnd()) {
      return nullptr;
    }
    auto sound = std::make_shared<FakeSound>(path, *found, playSucceeds);
    opened.push_back(sound);
    return sound;
  }

  // Readable files and their lengths in seconds.
  QMap<QString, double> durations;
  bool playSucceeds = true;
  // Every open asked for, and every sound handed out, in order.
  QStringList openedPaths;
  std::vector<std::shared_ptr<FakeSound>> opened;
};

}  // namespace tandrel
