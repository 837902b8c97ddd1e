#pragma once

#include <QString>

#include <memory>

namespace tandrel {

// One sound opened from an audio file, ready to play once. Its length is known as soon as it is
// open. Every playing sound has a worker thread of its own that decodes and writes to the audio
// server, so nothing here blocks the caller for longer than the connection attempt.
class Sound {
 public:
  virtual ~Sound() = default;

  // The length in seconds; 0 when the file does not say.
  virtual double duration() const = 0;
  // Where playing starts, in seconds from the beginning; set it before play().
  virtual double currentTime() const = 0;
  virtual void setCurrentTime(double seconds) = 0;

  // Starts playing; false when it could not start (no audio server, a second call, a file that
  // went away). It plays to its end unless stopped; whoever holds the sound keeps it playing, and
  // dropping the last reference stops it.
  virtual bool play() = 0;
  // Stops at once; harmless when it never played or already ended.
  virtual void stop() = 0;
};

// Opens sounds from files.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;

  // The sound of an audio file, or nothing when the file cannot be read as audio.
  virtual std::shared_ptr<Sound> open(const QString& path) = 0;

  // libsndfile decodes (WAV, AIFF, FLAC, OGG/Vorbis and Opus, MP3 and more; not m4a or AAC) and
  // libpulse-simple plays, through PulseAudio or PipeWire's pulse server.
  static SoundOutput& system();
};

}  // namespace tandrel
