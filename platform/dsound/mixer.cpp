#include "platform/dsound/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/win/clock.h"

namespace {

// Reads one frame (left, right) as floats in -1..1.
inline void ReadFrame(const TMixVoice& v, uint32_t frame, float& l, float& r) {
  const uint8_t* p = v.Samples->data() + static_cast<size_t>(frame) * v.BlockAlign;
  if (v.Bits == 16) {
    int16_t a;
    std::memcpy(&a, p, 2);
    l = a / 32768.0f;
    if (v.Channels == 2) {
      int16_t b;
      std::memcpy(&b, p + 2, 2);
      r = b / 32768.0f;
    } else {
      r = l;
    }
  } else {
    l = (static_cast<int>(p[0]) - 128) / 128.0f;
    r = v.Channels == 2 ? (static_cast<int>(p[1]) - 128) / 128.0f : l;
  }
}

}  // namespace

TSoundMixer& TSoundMixer::Instance() {
  // Never destroyed: an audio thread may still call Mix while statics go.
  static TSoundMixer* mixer = new TSoundMixer;
  return *mixer;
}

TSoundMixer::TSoundMixer() {
  // Without a device the mixer runs on the program's clock, so a virtual
  // clock installed by a test drives it too.
  output_ = std::make_unique<TClockAudioOutput>([] { return timeGetTime(); }, nullptr);
  rate_ = output_->Rate();
}

void TSoundMixer::Add(TMixVoice* Voice) {
  voices_.push_back(Voice);
}

void TSoundMixer::Remove(TMixVoice* Voice) {
  voices_.erase(std::remove(voices_.begin(), voices_.end(), Voice), voices_.end());
}

void TSoundMixer::Pump() {
  if (output_) output_->Pump();
}

void TSoundMixer::ForceLost(uint64_t Device) {
  for (TMixVoice* v : voices_) {
    if (v->Device == Device) {
      v->Lost = true;
      v->Playing = false;
      v->Looping = false;
    }
  }
}

float TSoundMixer::ChannelGain(int32_t Volume, int32_t Pan, bool Right) {
  int32_t att = Volume;
  if (Right && Pan < 0) att += Pan;
  if (!Right && Pan > 0) att -= Pan;
  if (att <= -10000) return 0.0f;
  if (att >= 0) return 1.0f;
  return static_cast<float>(std::pow(10.0, att / 2000.0));
}

void TSoundMixer::MixLocked(int16_t* Out, uint32_t Frames) {
  scratch_.assign(static_cast<size_t>(Frames) * 2, 0.0f);
  for (TMixVoice* v : voices_) {
    if (!v->Playing || v->Lost || !v->Samples) continue;
    const uint32_t n = v->Frames();
    if (n == 0) {
      v->Playing = v->Looping = false;
      continue;
    }
    const float gl = ChannelGain(v->Volume, v->Pan, false);
    const float gr = ChannelGain(v->Volume, v->Pan, true);
    const uint64_t step = (static_cast<uint64_t>(v->Frequency) << 32) / rate_;
    const uint64_t end = static_cast<uint64_t>(n) << 32;
    for (uint32_t i = 0; i < Frames; ++i) {
      if (v->Cursor >= end) {
        if (!v->Looping) {
          v->Playing = false;
          v->Cursor = 0;
          break;
        }
        v->Cursor %= end;
      }
      const uint32_t f = static_cast<uint32_t>(v->Cursor >> 32);
      const float t = static_cast<float>(v->Cursor & 0xFFFFFFFFu) / 4294967296.0f;
      float l0, r0;
      ReadFrame(*v, f, l0, r0);
      float l = l0, r = r0;
      if (t > 0.0f) {
        // Linear interpolation towards the next frame; past the end that is
        // the start again when looping and silence otherwise.
        float l1 = 0.0f, r1 = 0.0f;
        if (f + 1 < n) {
          ReadFrame(*v, f + 1, l1, r1);
        } else if (v->Looping) {
          ReadFrame(*v, 0, l1, r1);
        }
        l = l0 + (l1 - l0) * t;
        r = r0 + (r1 - r0) * t;
      }
      scratch_[2 * i] += l * gl;
      scratch_[2 * i + 1] += r * gr;
      v->Cursor += step;
    }
  }
  for (size_t i = 0; i < scratch_.size(); ++i) {
    // Unity gain: a 16-bit sample at full volume comes out unchanged.
    float s = scratch_[i] * 32768.0f;
    s = std::clamp(s, -32768.0f, 32767.0f);
    Out[i] = static_cast<int16_t>(std::lrintf(s));
  }
}

void TSoundMixer::SkipLocked(uint64_t Frames) {
  if (Frames == 0) return;
  for (TMixVoice* v : voices_) {
    if (!v->Playing || v->Lost || !v->Samples) continue;
    const uint64_t end = static_cast<uint64_t>(v->Frames()) << 32;
    const uint64_t step = (static_cast<uint64_t>(v->Frequency) << 32) / rate_;
    // Hours of skipped time overflow 64 bits of 32.32 cursor.
    const unsigned __int128 to =
        static_cast<unsigned __int128>(v->Cursor) + static_cast<unsigned __int128>(step) * Frames;
    if (end == 0 || (!v->Looping && to >= end)) {
      v->Playing = v->Looping = false;
      v->Cursor = 0;
    } else {
      v->Cursor = static_cast<uint64_t>(to % end);
    }
  }
}

void TSoundMixer::Mix(int16_t* Out, uint32_t Frames) {
  std::lock_guard g(mutex_);
  MixLocked(Out, Frames);
}

void TSoundMixer::SetOutput(std::unique_ptr<TAudioOutput> Output) {
  if (!Output) {
    Output = std::make_unique<TClockAudioOutput>([] { return timeGetTime(); }, nullptr);
  }
  std::unique_ptr<TAudioOutput> old;
  {
    std::lock_guard g(mutex_);
    // Whatever the old output owed up to now is played out first.
    if (output_) output_->Pump();
    old = std::move(output_);
    output_ = std::move(Output);
    rate_ = output_->Rate();
  }
  old.reset();
}

TClockAudioOutput::TClockAudioOutput(TClock Clock, TSink Sink, uint32_t Rate)
    : clock_(std::move(Clock)), sink_(std::move(Sink)), rate_(Rate) {
  last_ms_ = clock_();
}

void TClockAudioOutput::Pump() {
  const uint32_t now = clock_();
  const uint32_t elapsed = now - last_ms_;  // wraps like the clock
  last_ms_ = now;
  frac_ += static_cast<uint64_t>(elapsed) * rate_;
  uint64_t frames = frac_ / 1000;
  frac_ %= 1000;
  TSoundMixer& mixer = TSoundMixer::Instance();
  // Without a listener there is nothing to mix: the cursors just move on.
  // The silent game asks its buffers something every frame.
  if (!sink_) {
    mixer.SkipLocked(frames);
    return;
  }
  // A clock that leaps far ahead (a paused process, a test jumping minutes)
  // mixes only the last ten seconds; the cursors still move through the
  // rest, so what plays afterwards matches the clock.
  const uint64_t audible = uint64_t{rate_} * 10;
  if (frames > audible) {
    mixer.SkipLocked(frames - audible);
    frames = audible;
  }
  while (frames > 0) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(frames, 4096));
    block_.resize(static_cast<size_t>(n) * 2);
    mixer.MixLocked(block_.data(), n);
    sink_(block_.data(), n);
    frames -= n;
  }
}

void TSoundMixer::SetPlayObserver(TPlayObserver Observer) {
  std::lock_guard g(mutex_);
  play_observer_ = std::move(Observer);
}
