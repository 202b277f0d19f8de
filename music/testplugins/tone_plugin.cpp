// A test input plug-in: plays ".ton" files, one line of text
// "TON <rate> <channels> <bits> <pitch Hz> <length ms>", as a sine tone
// decoded on its own thread, and posts the end of the file to the host.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "music/winamp_plugin.h"

namespace {

struct TTone {
  int32_t Rate = 0, Channels = 0, Bits = 0, Pitch = 0, LengthMs = 0;
  int64_t Frames() const { return int64_t{Rate} * LengthMs / 1000; }
};

bool ReadTone(const char* file, TTone& t) {
  if (!file) return false;
  std::FILE* f = std::fopen(file, "rb");
  if (!f) return false;
  char line[128] = {};
  const bool got = std::fgets(line, sizeof(line), f) != nullptr;
  std::fclose(f);
  if (!got) return false;
  if (std::sscanf(line, "TON %d %d %d %d %d", &t.Rate, &t.Channels, &t.Bits, &t.Pitch,
                  &t.LengthMs) != 5)
    return false;
  return t.Rate >= 1000 && t.Rate <= 96000 && (t.Channels == 1 || t.Channels == 2) &&
         (t.Bits == 8 || t.Bits == 16) && t.Pitch > 0 && t.Pitch < t.Rate / 2 && t.LengthMs > 0 &&
         t.LengthMs <= 600000;
}

In_Module Module{};
std::thread Decoder;
std::atomic<bool> StopNow{false};
std::atomic<int32_t> SeekTo{-1};
std::atomic<bool> Paused{false};
std::atomic<int> Calls[4];  // About, Config, Init, Quit
TTone Playing;

void Decode() {
  const TTone t = Playing;
  const int frameBytes = t.Channels * t.Bits / 8;
  int64_t pos = 0;
  bool ended = false;
  std::vector<char> block;
  while (!StopNow) {
    const int32_t seek = SeekTo.exchange(-1);
    if (seek >= 0) {
      Module.outMod->Flush(seek);
      pos = std::min<int64_t>(int64_t{seek} * t.Rate / 1000, t.Frames());
      ended = false;
    }
    if (pos >= t.Frames()) {
      if (!ended) {
        ended = true;
        auto* host = static_cast<TPluginHostRecord*>(Module.hMainWindow);
        host->Post(host, WINAMP_PLUGIN_EOF, 0, 0);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    const int64_t frames = std::min<int64_t>(576, t.Frames() - pos);
    const int bytes = static_cast<int>(frames * frameBytes);
    if (Paused || Module.outMod->CanWrite() < bytes) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    block.resize(static_cast<size_t>(bytes));
    for (int64_t i = 0; i < frames; ++i) {
      const double v = 0.5 * std::sin(2 * M_PI * t.Pitch * double(pos + i) / t.Rate);
      for (int c = 0; c < t.Channels; ++c) {
        char* p = block.data() + (i * t.Channels + c) * (t.Bits / 8);
        if (t.Bits == 8) {
          *p = static_cast<char>(static_cast<uint8_t>(128 + std::lrint(v * 127)));
        } else {
          const auto s = static_cast<int16_t>(std::lrint(v * 32767));
          std::memcpy(p, &s, 2);
        }
      }
    }
    if (Module.outMod->Write(block.data(), bytes) == 0) pos += frames;
  }
}

void StopDecoder() {
  StopNow = true;
  if (Decoder.joinable()) Decoder.join();
  StopNow = false;
}

void Config(void*) {
  ++Calls[1];
}
void About(void*) {
  ++Calls[0];
}
void Init() {
  ++Calls[2];
}
void Quit() {
  ++Calls[3];
  if (Decoder.joinable()) {
    StopDecoder();
    Module.outMod->Close();
  }
}
void GetFileInfo(char* file, char* title, int32_t* length) {
  TTone t;
  const bool ok = ReadTone(file, t);
  if (length) *length = ok ? t.LengthMs : 0;
  if (title) {
    std::string name = file ? file : "";
    const size_t slash = name.find_last_of('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    std::snprintf(title, 256, "%s", ok ? name.c_str() : "");
  }
}
int32_t InfoBox(char*, void*) {
  return 0;
}
int32_t IsOurFile(char*) {
  return 0;
}
int32_t Play(char* file) {
  StopDecoder();
  TTone t;
  if (!ReadTone(file, t)) return -1;
  if (Module.outMod->Open(t.Rate, t.Channels, t.Bits, -1, -1) < 0) return 1;
  Playing = t;
  SeekTo = -1;
  Paused = false;
  Decoder = std::thread(Decode);
  return 0;
}
void Pause() {
  Paused = true;
  Module.outMod->Pause(1);
}
void UnPause() {
  Paused = false;
  Module.outMod->Pause(0);
}
int32_t IsPaused() {
  return Paused ? 1 : 0;
}
void Stop() {
  StopDecoder();
  Module.outMod->Close();
}
int32_t GetLength() {
  return Playing.LengthMs;
}
int32_t GetOutputTime() {
  return Module.outMod->GetOutputTime();
}
void SetOutputTime(int32_t ms) {
  SeekTo = ms;
}
void SetVolume(int32_t v) {
  Module.outMod->SetVolume(v);
}
void SetPan(int32_t p) {
  Module.outMod->SetPan(p);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) In_Module* winampGetInModule2(void) {
  Module = In_Module{};
  Module.version = 0x100;
  Module.description = const_cast<char*>("Tone test plug-in");
  Module.FileExtensions = const_cast<char*>("ton\0Tone files (*.ton)\0");
  Module.is_seekable = 1;
  Module.UsesOutputPlug = 1;
  Module.Config = &Config;
  Module.About = &About;
  Module.Init = &Init;
  Module.Quit = &Quit;
  Module.GetFileInfo = &GetFileInfo;
  Module.InfoBox = &InfoBox;
  Module.IsOurFile = &IsOurFile;
  Module.Play = &Play;
  Module.Pause = &Pause;
  Module.UnPause = &UnPause;
  Module.IsPaused = &IsPaused;
  Module.Stop = &Stop;
  Module.GetLength = &GetLength;
  Module.GetOutputTime = &GetOutputTime;
  Module.SetOutputTime = &SetOutputTime;
  Module.SetVolume = &SetVolume;
  Module.SetPan = &SetPan;
  return &Module;
}

// How often the host called About, Config, Init and Quit (the tests read it).
extern "C" __attribute__((visibility("default"))) int ToneCalls(int Which) {
  return Which >= 0 && Which < 4 ? Calls[Which].load() : -1;
}
