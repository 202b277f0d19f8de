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

 private:
  TClock clock_;
  TSink sink_;
  uint32_t rate_;
  uint32_t last_ms_;
  uint64_t frac_ = 0;  // ms × rate not yet turned into frames
  std::vector<int16_t> block_;
};
