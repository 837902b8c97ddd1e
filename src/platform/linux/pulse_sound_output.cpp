// Sounds decoded by libsndfile and played through libpulse-simple, one worker thread per playing
// sound. With no audio server the connection is refused at once and play() reports the failure.

#include "platform/linux/pulse_sound_output.h"

#include "base/log.h"
#include "base/thread_name.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <sndfile.h>

#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tandrel {

namespace {

using namespace std::chrono_literals;

// How long play() waits for the worker to reach the audio server before it counts the sound as
// started; a refused connection answers well within it.
constexpr auto kConnectWait = 300ms;
// Audio written per step, so that stop() takes effect within about this long.
constexpr double kChunkSeconds = 0.05;

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

SndfileHandle openSndfile(const QString& path, SF_INFO& info) {
  info = SF_INFO{};
  return SndfileHandle(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
}

// The workers still running.
struct WorkerCount {
  std::mutex mutex;
  int running = 0;
};
WorkerCount& workers() {
  static WorkerCount* count = new WorkerCount;  // outlives every detached worker
  return *count;
}

}  // namespace

struct PulseSound::Playback {
  enum class Phase { connecting, playing, failed, ended };

  QString path;
  std::string applicationName;
  double startSeconds = 0;
  std::atomic<bool> stopRequested{false};
  std::mutex mutex;
  std::condition_variable phaseChanged;
  Phase phase = Phase::connecting;

  void setPhase(Phase next) {
    {
      std::lock_guard lock(mutex);
      phase = next;
    }
    phaseChanged.notify_all();
  }

  void run();
};

void PulseSound::Playback::run() {
  nameCurrentThread(QStringLiteral("app.tandrel.sound"));
  SF_INFO info;
  SndfileHandle file = openSndfile(path, info);
  if (!file || info.channels < 1 || info.channels > 8 || info.samplerate <= 0) {
    setPhase(Phase::failed);
    return;
  }
  if (startSeconds > 0) {
    sf_seek(file.get(), static_cast<sf_count_t>(startSeconds * info.samplerate), SEEK_SET);
  }
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_FLOAT32NE;
  spec.rate = static_cast<uint32_t>(info.samplerate);
  spec.channels = static_cast<uint8_t>(info.channels);
  // A small target buffer: stop() cuts the sound off quickly and the server's latency stays low.
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.tlength = static_cast<uint32_t>(spec.rate * spec.channels * sizeof(float) / 10);
  attributes.prebuf = static_cast<uint32_t>(-1);
  attributes.minreq = static_cast<uint32_t>(-1);
  attributes.fragsize = static_cast<uint32_t>(-1);
  int error = 0;
  pa_simple* stream = pa_simple_new(nullptr, applicationName.c_str(), PA_STREAM_PLAYBACK, nullptr,
                                    "event sound", &spec, nullptr, &attributes, &error);
  if (!stream) {
    // Said once: without a server every sound fails the same way.
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true)) {
      logWarning(QStringLiteral("sounds cannot play: %1").arg(QString::fromUtf8(pa_strerror(error))));
    }
    setPhase(Phase::failed);
    return;
  }
  setPhase(Phase::playing);
  const sf_count_t chunkFrames = std::max<sf_count_t>(1, static_cast<sf_count_t>(kChunkSeconds * info.samplerate));
  std::vector<float> buffer(static_cast<size_t>(chunkFrames * info.channels));
  bool broken = false;
  while (!stopRequested.load()) {
    const sf_count_t frames = sf_readf_float(file.get(), buffer.data(), chunkFrames);
    if (frames <= 0) {
      break;
    }
    if (pa_simple_write(stream, buffer.data(), static_cast<size_t>(frames * info.channels) * sizeof(float),
                        &error) < 0) {
      broken = true;
      break;
    }
  }
  if (stopRequested.load() || broken) {
    pa_simple_flush(stream, &error);
  } else {
    pa_simple_drain(stream, &error);
  }
  pa_simple_free(stream);
  setPhase(Phase::ended);
}

PulseSound::PulseSound(QString path, double duration, std::string applicationName)
    : playback_(std::make_shared<Playback>()), duration_(duration) {
  playback_->path = std::move(path);
  playback_->applicationName = std::move(applicationName);
}

PulseSound::~PulseSound() { stop(); }

double PulseSound::currentTime() const { return playback_->startSeconds; }

void PulseSound::setCurrentTime(double seconds) {
  if (!started_) {
    playback_->startSeconds = std::max(0.0, seconds);
  }
}

bool PulseSound::play() {
  if (started_) {
    return false;
  }
  started_ = true;
  {
    std::lock_guard lock(workers().mutex);
    ++workers().running;
  }
  std::thread([playback = playback_] {
    playback->run();
    std::lock_guard lock(workers().mutex);
    --workers().running;
  }).detach();
  std::unique_lock lock(playback_->mutex);
  playback_->phaseChanged.wait_for(lock, kConnectWait,
                                   [&] { return playback_->phase != Playback::Phase::connecting; });
  return playback_->phase != Playback::Phase::failed;
}

void PulseSound::stop() { playback_->stopRequested.store(true); }

std::shared_ptr<Sound> PulseSoundOutput::open(const QString& path) {
  SF_INFO info;
  SndfileHandle file = openSndfile(path, info);
  if (!file || info.samplerate <= 0 || info.channels < 1) {
    return nullptr;
  }
  // Some formats cannot count their frames without decoding; their length stays unknown (0).
  const double duration = info.frames > 0 && info.frames != SF_COUNT_MAX
                              ? static_cast<double>(info.frames) / info.samplerate
                              : 0.0;
  return std::make_shared<PulseSound>(path, duration, applicationName_);
}

int PulseSoundOutput::runningWorkerCountForTests() {
  std::lock_guard lock(workers().mutex);
  return workers().running;
}

SoundOutput& SoundOutput::system() {
  static PulseSoundOutput output("Tandrel");
  return output;
}

}  // namespace tandrel
