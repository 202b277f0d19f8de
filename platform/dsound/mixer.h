// The one software mixer behind every sound buffer. It mixes the playing
// voices into 16-bit stereo at the output's rate. The SDL output calls Mix
// from its audio thread; clock-driven outputs (no device, headless runs) mix
// lazily, up to the clock's "now", whenever a buffer is asked anything, so
// the cursors always agree with the clock.
//
// Every change to a voice happens under Mutex(); the audio thread takes the
// same lock, so nothing else in the program needs one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// The queue of a voice that is fed while it plays (music decoded a little
// ahead of the mixer): interleaved 16-bit stereo frames at the voice's
// Frequency. Read and written under the mixer lock.
struct TMixStream {
  std::vector<int16_t> Queue;
  size_t Read = 0;       // samples of Queue already heard
  uint64_t Heard = 0;    // frames taken out since the feeder last reset it
  bool Ended = false;    // the feeder has nothing more to queue
  bool Drained = false;  // ended, and everything queued was heard
  uint32_t Queued() const { return static_cast<uint32_t>((Queue.size() - Read) / 2); }
  void Push(const int16_t* Frames, size_t Count);
  void Clear();
};

// One playing cursor over a block of samples. Duplicated buffers share the
// block and keep their own cursor and settings.
struct TMixVoice {
  std::shared_ptr<std::vector<uint8_t>> Samples;
  uint64_t Device = 0;
  uint16_t Channels = 0;    // 1 or 2
  uint16_t Bits = 0;        // 8 or 16
  uint32_t Rate = 0;        // the format's own rate
  uint32_t BlockAlign = 0;  // bytes per frame
  uint32_t Frequency = 0;   // playing rate in Hz
  int32_t Volume = 0;       // hundredths of a decibel, -10000..0
  int32_t Pan = 0;          // -10000 (left) .. 10000 (right)
  uint64_t Cursor = 0;      // frame position, 32.32 fixed point
  bool Playing = false;
  bool Looping = false;
  bool Lost = false;
  // Set for a fed voice; Samples then stays empty.
  std::shared_ptr<TMixStream> Stream;

  uint32_t Frames() const {
    return BlockAlign ? static_cast<uint32_t>(Samples ? Samples->size() / BlockAlign : 0) : 0;
  }
};

// Where mixed sound goes.
class TAudioOutput {
 public:
  virtual ~TAudioOutput() = default;
  virtual uint32_t Rate() const { return 44100; }
  // Called under the mixer lock before a buffer is read or changed: a
  // clock-driven output mixes up to now here.
  virtual void Pump() {}
  // Whether mixing follows the program's clock (no device, headless runs)
  // rather than a device thread.
  virtual bool ClockDriven() const { return false; }
  // Output frames a Pump now would mix.
  virtual uint64_t FramesDue() const { return 0; }
  // Whether anything listens: a device, or a capture in headless runs.
  virtual bool HasDevice() const { return true; }
};

// Whatever fills fed voices. Feeders run outside the mixer lock, so decoding
// and the callbacks of their owners never hold up the audio thread. On a
// clock-driven output they run on the thread that moves the clock, right
// before the mixer catches up with it, so runs are repeatable.
class TMixFeeder {
 public:
  virtual ~TMixFeeder() = default;
  // The mixer is about to mix Frames output frames (0 on a device output:
  // keep a comfortable lead instead).
  virtual void Feed(uint64_t Frames) = 0;
  // The mixer has caught up: report what was heard (ends of streams).
  virtual void Heard() = 0;
};

class TSoundMixer {
 public:
  static TSoundMixer& Instance();

  std::mutex& Mutex() { return mutex_; }

  // Under the lock.
  void Add(TMixVoice* Voice);
  void Remove(TMixVoice* Voice);
  void Pump();
  void MixLocked(int16_t* Out, uint32_t Frames);
  // Moves every playing voice on by Frames output frames without mixing
  // them: the stretch of a long clock leap that nobody hears still ends
  // one-shot sounds and turns looped ones round.
  void SkipLocked(uint64_t Frames);
  uint32_t Rate() const { return rate_; }
  void ForceLost(uint64_t Device);

  // Feeders. Service runs every feeder's Feed and AfterService every
  // Heard; both take the feeders' lock, never the mixer's, and must be
  // called without the mixer lock held.
  //
  // Lock order, everywhere: the feeders' lock, then a feeder's own lock,
  // then the mixer lock. Feed and Heard run under the feeders' lock and
  // take their owner's, so an owner that holds its own lock while it adds
  // or removes itself takes the feeders' lock first (it is recursive:
  // AddFeeder and RemoveFeeder take it again).
  std::recursive_mutex& FeedMutex() { return feed_mutex_; }
  void AddFeeder(TMixFeeder* Feeder);
  void RemoveFeeder(TMixFeeder* Feeder);
  void Service();
  void AfterService();
  bool ClockDriven();
  bool HasDevice();

  // Takes the lock; for audio threads.
  void Mix(int16_t* Out, uint32_t Frames);

  // Replaces the output. The old one is destroyed outside the lock, so an
  // audio thread waiting on it can finish. Nil restores the default output,
  // which plays into nothing on the program's clock.
  void SetOutput(std::unique_ptr<TAudioOutput> Output);

  // The gain of a channel for a volume and pan, as DirectSound defines them:
  // both attenuate in hundredths of a decibel and -10000 is silence.
  static float ChannelGain(int32_t Volume, int32_t Pan, bool Right);

  // Told of every buffer that starts playing, with its settings at that
  // moment; runs under the lock, so it must not call back into the mixer.
  // Nil removes it.
  using TPlayObserver = std::function<void(const TMixVoice& Voice)>;
  void SetPlayObserver(TPlayObserver Observer);
  void NotifyPlayLocked(const TMixVoice& Voice) {
    if (play_observer_) play_observer_(Voice);
  }

 private:
  TSoundMixer();
  std::mutex mutex_;
  std::vector<TMixVoice*> voices_;
  std::unique_ptr<TAudioOutput> output_;
  uint32_t rate_ = 44100;
  std::vector<float> scratch_;
  TPlayObserver play_observer_;
  // The feeders' lock: before any feeder's own and before mutex_.
  std::recursive_mutex feed_mutex_;
  std::vector<TMixFeeder*> feeders_;
};

// An output without a device: the mixer runs on a millisecond clock and each
// block of mixed frames goes to Sink; without one the cursors only move on.
class TClockAudioOutput : public TAudioOutput {
 public:
  using TClock = std::function<uint32_t()>;
  using TSink = std::function<void(const int16_t* Frames, uint32_t Count)>;
  TClockAudioOutput(TClock Clock, TSink Sink, uint32_t Rate = 44100);
  uint32_t Rate() const override { return rate_; }
  void Pump() override;
  bool ClockDriven() const override { return true; }
  uint64_t FramesDue() const override;
  bool HasDevice() const override { return static_cast<bool>(sink_); }

 private:
  TClock clock_;
  TSink sink_;
  uint32_t rate_;
  uint32_t last_ms_;
  uint64_t frac_ = 0;  // ms × rate not yet turned into frames
  std::vector<int16_t> block_;
};
