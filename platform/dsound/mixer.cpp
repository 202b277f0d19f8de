#include "platform/dsound/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/win/clock.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

// Nearest, halves to even, as lrintf; without the library call, which costs
// as much as the rest of the mix.
inline int32_t RoundToInt(float v) {
#if defined(__SSE__)
  return _mm_cvtss_si32(_mm_set_ss(v));
#else
  return static_cast<int32_t>(std::lrintf(v));
#endif
}

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

// Mixes a fed voice. At the file's own rate the frames are added as they
// stand; otherwise the cursor steps through the queue with linear
// interpolation. An empty queue that is not ended is an underrun: silence,
// and the voice's position waits for the feeder.
void MixStream(TMixVoice& v, float* out, uint32_t Frames, uint64_t step, float gl, float gr) {
  TMixStream& s = *v.Stream;
  const int16_t* q = s.Queue.data() + s.Read;
  const uint32_t avail = s.Queued();
  uint32_t used = 0;
  if (step == (uint64_t{1} << 32) && (v.Cursor & 0xFFFFFFFFu) == 0) {
    used = std::min(Frames, avail);
    const float kl = gl / 32768.0f, kr = gr / 32768.0f;
    for (uint32_t i = 0; i < used; ++i) {
      out[2 * i] += q[2 * i] * kl;
      out[2 * i + 1] += q[2 * i + 1] * kr;
    }
  } else {
    uint64_t c = v.Cursor & 0xFFFFFFFFu;
    uint32_t i = 0;
    for (; i < Frames; ++i) {
      const uint32_t f = static_cast<uint32_t>(c >> 32);
      if (f >= avail) break;
      const float t = static_cast<float>(c & 0xFFFFFFFFu) / 4294967296.0f;
      const uint32_t g = f + 1 < avail ? f + 1 : f;
      const float l = q[2 * f] + (q[2 * g] - q[2 * f]) * t;
      const float r = q[2 * f + 1] + (q[2 * g + 1] - q[2 * f + 1]) * t;
      out[2 * i] += l / 32768.0f * gl;
      out[2 * i + 1] += r / 32768.0f * gr;
      c += step;
    }
    used = std::min(avail, static_cast<uint32_t>(c >> 32));
    v.Cursor = c & 0xFFFFFFFFu;
    if (i == Frames) {
      s.Read += size_t{used} * 2;
      s.Heard += used;
      return;
    }
  }
  s.Read += size_t{used} * 2;
  s.Heard += used;
  if (used < Frames && s.Ended && s.Queued() == 0) {
    s.Drained = true;
    v.Playing = false;
    v.Cursor = 0;
  }
}

}  // namespace

void TMixStream::Push(const int16_t* Frames, size_t Count) {
  // Heard samples are dropped once they are the larger part of the queue,
  // so the queue stays about as long as the lead the feeder keeps.
  if (Read > 0 && Read >= Queue.size() / 2) {
    Queue.erase(Queue.begin(), Queue.begin() + static_cast<ptrdiff_t>(Read));
    Read = 0;
  }
  Queue.insert(Queue.end(), Frames, Frames + Count * 2);
}

void TMixStream::Clear() {
  Queue.clear();
  Read = 0;
  Heard = 0;
  Ended = false;
  Drained = false;
}

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
    if (!v->Playing || v->Lost) continue;
    if (v->Stream) {
      const uint64_t step = (static_cast<uint64_t>(v->Frequency) << 32) / rate_;
      MixStream(*v, scratch_.data(), Frames, step, ChannelGain(v->Volume, v->Pan, false),
                ChannelGain(v->Volume, v->Pan, true));
      continue;
    }
    if (!v->Samples) continue;
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
  size_t i = 0;
#if defined(__SSE2__)
  // Four at a time: rounding to nearest even, and the pack saturates to the
  // 16-bit range as the clamp below does.
  const __m128 scale = _mm_set1_ps(32768.0f);
  for (; i + 8 <= scratch_.size(); i += 8) {
    const __m128i a = _mm_cvtps_epi32(_mm_mul_ps(_mm_loadu_ps(&scratch_[i]), scale));
    const __m128i b = _mm_cvtps_epi32(_mm_mul_ps(_mm_loadu_ps(&scratch_[i + 4]), scale));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + i), _mm_packs_epi32(a, b));
  }
#endif
  for (; i < scratch_.size(); ++i) {
    // Unity gain: a 16-bit sample at full volume comes out unchanged.
    float s = scratch_[i] * 32768.0f;
    s = std::clamp(s, -32768.0f, 32767.0f);
    Out[i] = static_cast<int16_t>(RoundToInt(s));
  }
}

void TSoundMixer::SkipLocked(uint64_t Frames) {
  if (Frames == 0) return;
  for (TMixVoice* v : voices_) {
    if (!v->Playing || v->Lost) continue;
    if (v->Stream) {
      // What nobody hears is still taken from the queue, so the stream's
      // position follows the clock.
      TMixStream& s = *v->Stream;
      const uint64_t step = (static_cast<uint64_t>(v->Frequency) << 32) / rate_;
      const unsigned __int128 want =
          (static_cast<unsigned __int128>(step) * Frames + (v->Cursor & 0xFFFFFFFFu));
      const uint64_t whole = static_cast<uint64_t>(want >> 32);
      const uint32_t used = static_cast<uint32_t>(std::min<uint64_t>(whole, s.Queued()));
      s.Read += size_t{used} * 2;
      s.Heard += used;
      v->Cursor = static_cast<uint64_t>(want) & 0xFFFFFFFFu;
      if (used < whole && s.Ended) {
        s.Drained = true;
        v->Playing = false;
        v->Cursor = 0;
      }
      continue;
    }
    if (!v->Samples) continue;
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

void TSoundMixer::AddFeeder(TMixFeeder* Feeder) {
  std::lock_guard g(feed_mutex_);
  feeders_.push_back(Feeder);
}

void TSoundMixer::RemoveFeeder(TMixFeeder* Feeder) {
  std::lock_guard g(feed_mutex_);
  feeders_.erase(std::remove(feeders_.begin(), feeders_.end(), Feeder), feeders_.end());
}

bool TSoundMixer::ClockDriven() {
  std::lock_guard g(mutex_);
  return output_ && output_->ClockDriven();
}

bool TSoundMixer::HasDevice() {
  std::lock_guard g(mutex_);
  return output_ && output_->HasDevice();
}

void TSoundMixer::Service() {
  std::lock_guard g(feed_mutex_);
  if (feeders_.empty()) return;
  uint64_t due;
  {
    std::lock_guard m(mutex_);
    due = output_ ? output_->FramesDue() : 0;
  }
  // A feeder may remove itself (its owner shut down from a callback).
  const std::vector<TMixFeeder*> all = feeders_;
  for (TMixFeeder* f : all) {
    if (std::find(feeders_.begin(), feeders_.end(), f) != feeders_.end()) f->Feed(due);
  }
}

void TSoundMixer::AfterService() {
  std::lock_guard g(feed_mutex_);
  const std::vector<TMixFeeder*> all = feeders_;
  for (TMixFeeder* f : all) {
    if (std::find(feeders_.begin(), feeders_.end(), f) != feeders_.end()) f->Heard();
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

uint64_t TClockAudioOutput::FramesDue() const {
  const uint32_t elapsed = clock_() - last_ms_;
  return (static_cast<uint64_t>(elapsed) * rate_ + frac_) / 1000;
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
