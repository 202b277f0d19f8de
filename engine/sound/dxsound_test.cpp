#include "engine/sound/dxsound.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sound/sound_fixture.h"

namespace {

using DXSoundTest = SoundTest;

template <class E, class F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "no exception";
}

TEST_F(DXSoundTest, LoadingWithoutDeviceOrLibraryRunsSilently) {
  // No device.
  DSoundFaults().Create = DSERR_NODRIVER;
  TDXSound* s = MakeSound();
  EXPECT_FALSE(s->Initialized());
  EXPECT_EQ(MessageOf<EDirectSoundError>([&] {
              DSoundFaults().Create = DSERR_NODRIVER;
              s->Initialize();
            }),
            "DirectSound cannot be initialized");

  // No library either: still silent when loading, an error when asked.
  UnregisterBuiltinModule("DSound.dll");
  FreeDirectXLibraries();
  TDXSound* t = MakeSound();
  EXPECT_FALSE(t->Initialized());
  EXPECT_EQ(MessageOf<Exception>([&] { t->Initialize(); }), "DSound.dll is not loaded");

  RegisterDirectSoundModule();
  t->Initialize();
  EXPECT_TRUE(t->Initialized());
}

TEST_F(DXSoundTest, InitializeNeedsAFormAndAPrimaryBuffer) {
  TDXSound orphan(nullptr);
  EXPECT_EQ(MessageOf<EDXSoundError>([&] { orphan.Initialize(); }), "Form not found");

  TDXSound* s = MakeSound(false);
  DSoundFaults().CreatePrimary = DSERR_GENERIC;
  EXPECT_EQ(MessageOf<EDXSoundError>([&] { s->Initialize(); }), "Primary Buffer cannot be made");
  EXPECT_FALSE(s->Initialized());
  EXPECT_EQ(s->DSound(), nullptr);
  // The primary buffer's failure is not a missing device: loading reports it.
  DSoundFaults().CreatePrimary = DSERR_GENERIC;
  EXPECT_THROW(s->Loaded(), EDXSoundError);
}

TEST_F(DXSoundTest, HandlersHearTheLifecycleNewestFirst) {
  TDXSound* s = MakeSound(false);
  std::vector<std::string> log;
  int a = 0, b = 0;
  s->AddNotifyHandler(
      &a, [&](TCustomDXSound*, TDXSoundNotifyType k) { log.push_back("a" + std::to_string(k)); });
  s->AddNotifyHandler(
      &b, [&](TCustomDXSound*, TDXSoundNotifyType k) { log.push_back("b" + std::to_string(k)); });
  s->Initialize();
  EXPECT_EQ(log, (std::vector<std::string>{"b1", "a1", "b2", "a2", "b4", "a4"}));

  // Joining an initialised component: initialise and restore at once;
  // leaving it: finalise.
  log.clear();
  int c = 0;
  s->AddNotifyHandler(
      &c, [&](TCustomDXSound*, TDXSoundNotifyType k) { log.push_back("c" + std::to_string(k)); });
  s->RemoveNotifyHandler(&c);
  EXPECT_EQ(log, (std::vector<std::string>{"c2", "c4", "c3"}));

  log.clear();
  s->Finalize();
  EXPECT_EQ(log, (std::vector<std::string>{"b3", "a3"}));
  s->Finalize();  // only once
  EXPECT_EQ(log.size(), 2u);
  s->RemoveNotifyHandler(&a);
  s->RemoveNotifyHandler(&b);
}

TEST_F(DXSoundTest, OneLockAtATime) {
  TDXSound* s = MakeSound();
  TWave w;
  MakeTone(w, 10);
  TDirectSoundBuffer b(s->DSound());
  b.LoadFromWave(w);
  void *p1, *p2, *q1, *q2;
  DWORD n1, n2, m1, m2;
  ASSERT_TRUE(b.Lock(0, 100, p1, n1, p2, n2));
  EXPECT_FALSE(b.Lock(0, 100, q1, m1, q2, m2));
  EXPECT_EQ(q1, nullptr);
  b.Unlock();
  EXPECT_TRUE(b.Lock(0, 100, q1, m1, q2, m2));
  b.Unlock();
}

TEST_F(DXSoundTest, LostBufferRestoresOnceAndNeverFromWithinARestore) {
  TDXSound* s = MakeSound();
  TWave w;
  MakeTone(w, 10);
  TDirectSoundBuffer b(s->DSound());
  b.LoadFromWave(w);
  int restores = 0;
  int key = 0;
  bool armed = false;
  s->AddNotifyHandler(&key, [&](TCustomDXSound*, TDXSoundNotifyType k) {
    if (k != dsnRestore || !armed) return;
    ++restores;
    EXPECT_TRUE(s->DSound()->Restoring());
    EXPECT_FALSE(b.Play(false));  // still lost: no second restore
  });
  armed = true;
  s->DSound()->IDSound()->ForceAllLost();
  EXPECT_FALSE(b.Play(false));
  EXPECT_EQ(b.ResultCode(), DSERR_BUFFERLOST);
  EXPECT_EQ(restores, 1);
  EXPECT_FALSE(s->DSound()->Restoring());
  s->RemoveNotifyHandler(&key);
}

TEST_F(DXSoundTest, FocusOptionsApplyAtOnceExclusiveWaits) {
  TDXSound* s = MakeSound();
  TWave w;
  MakeTone(w, 10);
  auto flags = [&] {
    TDirectSoundBuffer b(s->DSound());
    b.LoadFromWave(w);
    return b.Caps().dwFlags;
  };
  EXPECT_EQ(flags() & (DSBCAPS_GLOBALFOCUS | DSBCAPS_STICKYFOCUS), 0u);
  s->SetOptions(soGlobalFocus);
  EXPECT_EQ(flags() & (DSBCAPS_GLOBALFOCUS | DSBCAPS_STICKYFOCUS), DSBCAPS_GLOBALFOCUS);
  s->SetOptions(soGlobalFocus | soStickyFocus);
  EXPECT_EQ(flags() & (DSBCAPS_GLOBALFOCUS | DSBCAPS_STICKYFOCUS), DSBCAPS_STICKYFOCUS);

  s->SetOptions(soExclusive);
  EXPECT_EQ(s->DSound()->IDSound()->CooperativeLevel(), DSSCL_NORMAL);
  EXPECT_EQ(s->NowOptions() & soExclusive, 0u);
  s->Initialize();
  EXPECT_EQ(s->DSound()->IDSound()->CooperativeLevel(), DSSCL_EXCLUSIVE);
}

TEST_F(DXSoundTest, BufferErrorsCarryTheirMessages) {
  TDXSound* s = MakeSound();
  TDirectSoundBuffer b(s->DSound());
  EXPECT_EQ(MessageOf<EDirectSoundBufferError>([&] { b.Play(false); }),
            "IDirectSoundBuffer not made");
  TWave bad;
  bad.SetFormatSize(16);  // all zeros: no format the device knows
  bad.SetSize(4);
  EXPECT_EQ(MessageOf<EDirectSoundBufferError>([&] { b.LoadFromWave(bad); }),
            "Sound Buffer cannot be made");
  TWave w;
  MakeTone(w, 10);
  DSoundFaults().Lock = DSERR_GENERIC;
  EXPECT_EQ(MessageOf<EDirectSoundBufferError>([&] { b.LoadFromWave(w); }),
            "Sound Buffer cannot be locked");
  EXPECT_FALSE(b.HasInterface());
  // Duplicating: a source without a buffer leaves none; a real one shares it.
  TDirectSoundBuffer d(s->DSound());
  d.Assign(&b);
  EXPECT_FALSE(d.HasInterface());
  b.LoadFromWave(w);
  d.Assign(&b);
  EXPECT_TRUE(d.HasInterface());
  EXPECT_EQ(d.Caps().dwBufferBytes, static_cast<DWORD>(w.Size()));
  // The component going away leaves no buffer with a dead device.
  s->Finalize();
  EXPECT_FALSE(b.HasInterface());
  EXPECT_EQ(b.DSound(), nullptr);
}

}  // namespace
