#pragma once

#include "platform/sound_output.h"

#include <memory>
#include <string>

namespace tandrel {

// A sound file played through the audio server by a worker thread of its own, which decodes in
// steps of 50 ms so that stop() (or dropping the sound) cuts it off within about that long.
class PulseSound : public Sound {
 public:
  PulseSound(QString path, double duration, std::string applicationName);
  ~PulseSound() override;  // stops the sound

  double duration() const override { return duration_; }
  double currentTime() const override;
  void setCurrentTime(double seconds) override;
  // Starts the worker and waits up to 0.3 s for it to reach the server: false when the
  // connection failed (or the file could not be opened again) within that time.
  bool play() override;
  void stop() override;

 private:
  struct Playback;
  std::shared_ptr<Playback> playback_;  // shared with the worker
  double duration_;
  bool started_ = false;
};

class PulseSoundOutput : public SoundOutput {
 public:
  // `applicationName` is what the audio server lists the app's streams under.
  explicit PulseSoundOutput(std::string applicationName) : applicationName_(std::move(applicationName)) {}

  std::shared_ptr<Sound> open(const QString& path) override;

  // Workers that have not finished yet, in the whole process.
  static int runningWorkerCountForTests();

 private:
  std::string applicationName_;
};

}  // namespace tandrel
