#include "music/bass_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "framework/filer.h"
#include "framework/forms.h"
#include "music/read_file.h"
#include "music/rt_bass.h"
#include "platform/win/clock.h"
#include "platform/win/ipc.h"
#include "platform/win/library.h"
#include "platform/win/paths.h"
#include "platform/win/user.h"

using namespace RT_bass;
using namespace RT_BASSWMA;

namespace {

// Runs on a library thread: it only posts, naming its channel, so a late
// end of a channel already replaced is recognised.
void EndSyncProc(HSYNC Sync, BASS_DWORD Channel, BASS_DWORD Data, void* User) {
  PostMessageA(static_cast<HWND>(User), WM_PlayEnd, Channel, 0);
}

// Milliseconds of a byte count, rounded half to even.
uint32_t Milliseconds(float Seconds) {
  const double ms = std::nearbyint(static_cast<double>(Seconds) * 1000.0);
  if (!(ms > 0)) return 0;
  return ms >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
}

std::string UpperExtension(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string e = path.substr(dot);
  for (auto& c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return e;
}

uint32_t RoundMs(double seconds) {
  const double ms = std::nearbyint(seconds * 1000.0);
  return ms > 0 && ms < 4294967295.0 ? static_cast<uint32_t>(ms) : 0;
}

}  // namespace

TBASSPlayer::TBASSPlayer(TComponent* AOwner) : TComponent(AOwner) {
  app_window_ = Application ? Application->Handle() : nullptr;
  TWindowParams params;
  params.MessageOnly = true;
  message_window_ = CreateWindowHandle(
      params, [this](HWND w, UINT m, WPARAM wp, LPARAM lp) { return WndProc(w, m, wp, lp); });
  SetPlayerWindow(message_window_);
  spectrum_timer_ = std::make_unique<TTimer>(nullptr);
  spectrum_timer_->SetEnabled(false);
  spectrum_timer_->SetInterval(33);
  spectrum_timer_->SetOnTimer([this](TObject*) { SpectrumTimerTick(); });

  bass_loaded_ = LoadBASS(ProgramFolder(), "bass.dll");
  if (!bass_loaded_) return;
  if (BASS_GetVersion() < 0x80001u) {
    ShowError("BASS version is not 1.8 or higher");
    return;
  }
  if (!BASS_Init(-1, 44100, 0, app_window_)) {
    ShowError("Can't initialize device");
    return;
  }
  if (!BASS_Start()) return;
  AudioReady = true;
  device_info_ = BASS_INFO{};
  device_info_.size = sizeof(BASS_INFO);
  BASS_GetInfo(&device_info_);
  if (device_info_.dsver >= 8) {
    dx8_effect_ready_ = true;
  } else {
    MessageBoxA(app_window_,
                "DirectX Ver 8 are not installed.\r\nSound effects except flanger are disabled.",
                "Warning", MB_ICONWARNING);
    dx8_effect_ready_ = false;
  }
  eq_band_count_ = 10;
  eq_gains_.fill(0.0f);
  echo_level_ = 16;
  reverb_level_ = 16;
  BASS_DWORD music = 0, sample = 0, stream = 0;
  BASS_GetGlobalVolumes(&music, &sample, &stream);
  music_volume_ = static_cast<int32_t>(music);
  stream_volume_ = static_cast<int32_t>(stream);
  plugin_volume_ = 255;
  const BASS_DWORD v = BASS_GetVersion();
  bass_dll_ver_ = std::to_string(v & 0xFFFF) + "." + std::to_string(v >> 16);
  wma_ready_ = LoadBASSWMA(ProgramFolder(), "basswma.dll");
  HostInit();
  host_window_ = GetHostWindow();
  mpeg_reader_ = std::make_unique<TMPEGaudio>();
  ogg_reader_ = std::make_unique<TOggVorbis>();
  wma_reader_ = std::make_unique<TWMAfile>();
  wav_reader_ = std::make_unique<TWAVfile>();
  config_form_ = std::make_unique<TPluginConfigForm>(this);
  app_exec_ = std::make_unique<TAppExec>(this);
  shared_memory_ = std::make_unique<TfisSharedMemory>(this);
  shared_memory_->ShareName = "fisSharedMemory1";
  shared_memory_->Size = 2312;
  shared_memory_->TargetApplication = "ZerIdi";
  if (shared_memory_->OpenMapping()) shared_view_ = shared_memory_->MapView();
}

TBASSPlayer::~TBASSPlayer() {
  if (channel_kind_ == ckPlugin && channel_ != 0) {
    if (plugin_module_ && plugin_module_->Stop) plugin_module_->Stop();
    channel_ = 0;
  } else if (play_state_ == psPlaying) {
    Stop();
  }
  // The host goes while the library is still there: a plug-in's Quit may
  // close its output, which frees a stream of the library.
  if (AudioReady) HostShutdown();
  if (bass_loaded_) FreeBASS();
  if (wma_ready_) FreeBASSWMA();
  spectrum_timer_.reset();
  mpeg_reader_.reset();
  ogg_reader_.reset();
  wma_reader_.reset();
  wav_reader_.reset();
  if (message_window_) DestroyWindow(message_window_);
  config_form_.reset();
  app_exec_.reset();
  if (shared_view_ && shared_memory_) shared_memory_->UnmapView(shared_view_);
  if (shared_memory_) shared_memory_->CloseMapping();
  shared_memory_.reset();
}

void TBASSPlayer::ShowError(const std::string& Text) {
  ShowError(Text, BASS_ErrorGetCode ? BASS_ErrorGetCode() : BASS_OK);
}

void TBASSPlayer::ShowError(const std::string& Text, int32_t Code) {
  const std::string s =
      Text + "\r\n" + "(error code: " + std::to_string(static_cast<uint32_t>(Code)) + ")";
  MessageBoxA(app_window_, s.c_str(), "Error", MB_ICONERROR);
}

bool TBASSPlayer::GetStreamInfo(const std::string& FileName, TStreamInfo& Info, int& PluginIndex,
                                TFileSupport& Support) {
  Info = TStreamInfo{};
  Info.FileName = FileName;
  Support = fsNone;
  PluginIndex = -1;
  bool result = false;
  const std::string ext = UpperExtension(FileName);
  const std::string path = NativePath(FileName);
  if (ext == ".WAV") {
    if (wav_reader_->ReadFromFile(path) && wav_reader_->Valid) {
      Info.FileSize = wav_reader_->FileSize;
      Info.SampleRate = static_cast<int32_t>(wav_reader_->SampleRate);
      Info.Duration = RoundMs(wav_reader_->GetDuration());
      Info.Channels = wav_reader_->Channels;
      result = true;
    }
  } else if (ext == ".MP3") {
    TMPEGaudio& r = *mpeg_reader_;
    if (r.ReadFromFile(path) && r.IsValid()) {
      Info.FileSize = r.FileLength;
      Info.SampleRate = r.GetSampleRate();
      Info.BitRate = r.GetBitRate();
      Info.Duration = RoundMs(r.GetDuration());
      if (r.ID3v1.Exists) {
        Info.Title = r.ID3v1.Title;
        Info.Artist = r.ID3v1.Artist;
        Info.Album = r.ID3v1.Album;
        Info.Year = r.ID3v1.Year;
        Info.Genre = r.ID3v1.GetGenre();
        Info.GenreID = r.ID3v1.GenreID;
        Info.Track = r.ID3v1.Track;
        Info.Comment = r.ID3v1.Comment;
      } else if (r.ID3v2.Exists) {
        Info.Title = r.ID3v2.Title;
        Info.Artist = r.ID3v2.Artist;
        Info.Album = r.ID3v2.Album;
        Info.Year = r.ID3v2.Year;
        Info.Genre = r.ID3v2.Genre;
        Info.Track = static_cast<uint8_t>(r.ID3v2.Track);
        Info.Comment = r.ID3v2.Comment;
      }
      Info.Channels = r.GetChannelMode() == "Mono" ? 1 : 2;
      result = true;
    }
  } else if (ext == ".OGG") {
    TOggVorbis& r = *ogg_reader_;
    if (r.ReadFromFile(path) && r.IsValid()) {
      Info.FileSize = r.FileSize;
      Info.SampleRate = static_cast<int32_t>(r.SampleRate);
      Info.BitRate = r.GetBitRate();
      Info.Duration = RoundMs(r.GetDuration());
      Info.Title = r.Title;
      Info.Artist = r.Artist;
      Info.Album = r.Album;
      Info.Year = r.Year;
      Info.Genre = r.Genre;
      Info.Channels = r.Channels;
      Info.Track = r.Track;
      Info.Comment = r.Comment;
      result = true;
    }
  } else if (ext == ".WMA") {
    TWMAfile& r = *wma_reader_;
    if (r.ReadFromFile(path) && r.Valid) {
      Info.FileSize = r.FileSize;
      Info.SampleRate = r.SampleRate;
      Info.BitRate = r.BitRate;
      Info.Duration = RoundMs(r.Duration);
      Info.Title = WideToAnsi(r.Title);
      Info.Artist = WideToAnsi(r.Artist);
      Info.Album = WideToAnsi(r.Album);
      Info.Year = WideToAnsi(r.Year);
      Info.Genre = WideToAnsi(r.Genre);
      Info.Comment = WideToAnsi(r.Comment);
      Info.Channels = r.Channels;
      Info.Track = static_cast<uint8_t>(r.Track);
      result = true;
    }
  }
  if (result) {
    if (ext == ".WMA" ? wma_ready_ : AudioReady) Support = fsBASS;
  }
  // The three characters after the dot, looked for in each plug-in's list.
  const std::string wanted = ext.size() > 1 ? ext.substr(1, 3) : "";
  std::string title;
  int32_t length = 0;
  int slot = -1;
  for (int i = 0; i < kMaxPlugins && !wanted.empty(); ++i) {
    In_Module* m = GetPluginModule(i);
    if (!m) continue;
    std::string list = GetPluginInfo(i).FileExtensions;
    for (auto& c : list) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (list.find(wanted) == std::string::npos) continue;
    slot = i;
    char buf[257] = {};
    length = 0;
    if (m->GetFileInfo) m->GetFileInfo(const_cast<char*>(path.c_str()), buf, &length);
    buf[256] = 0;
    title = buf;
    if (length > 0) break;
  }
  if (slot >= 0) {
    PluginIndex = slot;
    if (Support == fsBASS) {
      Support = fsBoth;
    } else {
      if (AudioReady) Support = fsPlugin;
      Info.Title = title;
      Info.Duration = static_cast<uint32_t>(length);
      result = true;
    }
  }
  return result;
}

bool TBASSPlayer::OpenFile(const std::string& FileName) {
  if (!AudioReady) {
    if (Application)
      Application->MessageBox("Player is not ready !", "Confirm", MB_OK);
    else
      MessageBoxA(nullptr, "Player is not ready !", "Confirm", MB_OK);
    return false;
  }
  TStreamInfo info;
  int slot = -1;
  TFileSupport support = fsNone;
  if (!GetStreamInfo(FileName, info, slot, support)) {
    // The player's own readers turned the file down and the library never
    // saw it, so its last error would tell of something else: say whether
    // the file would not open (a folder, a FIFO, a device, a failing read
    // among them) or is in no format the player reads.
    const bool opens = OpenReadFile(NativePath(FileName)) != nullptr;
    ShowError("Invalid stream file(" + FileName + ") !",
              opens ? BASS_ERROR_FILEFORM : BASS_ERROR_FILEOPEN);
    return false;
  }
  switch (channel_kind_) {
    case ckStream:
    case ckWMAStream:
      BASS_StreamFree(channel_);
      break;
    case ckMusic:
      BASS_MusicFree(channel_);
      break;
    case ckPlugin:
      if (channel_ != 0 && plugin_module_ && plugin_module_->Stop) plugin_module_->Stop();
      break;
    default:
      break;
  }
  const std::string path = NativePath(FileName);
  if (support == fsPlugin || (support == fsBoth && PluginFirst)) {
    channel_kind_ = ckPlugin;
    plugin_index_ = slot;
    plugin_module_ = GetPluginModule(slot);
    SelectPlugin(slot);
    channel_ = 0;
  } else {
    // Each call that turns the file down says why. "Not a file of my kind"
    // (BASS_ERROR_FILEFORM) from one says less than any other answer from
    // another, such as the stream call's word that a WAV's samples are of a
    // form it does not play: the box shows the first answer that says more.
    int32_t why = BASS_ERROR_FILEFORM;
    const auto keepWhy = [&] {
      if (why == BASS_ERROR_FILEFORM) why = BASS_ErrorGetCode();
    };
    channel_ = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    channel_kind_ = ckStream;
    if (channel_ == 0) keepWhy();
    if (channel_ == 0 && wma_ready_) {
      channel_ = BASS_WMA_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
      channel_kind_ = ckWMAStream;
      if (channel_ == 0) keepWhy();
    }
    if (channel_ == 0) {
      channel_ = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_CALCLEN);
      channel_kind_ = ckMusic;
      if (channel_ == 0) keepWhy();
    }
    if (channel_ == 0) {
      channel_kind_ = ckNone;
      ShowError("Can't play the file", why);
      return false;
    }
    if (BASS_ChannelGetFlags(channel_) & BASS_SAMPLE_8BITS) {
      if (channel_kind_ == ckMusic)
        BASS_MusicFree(channel_);
      else
        BASS_StreamFree(channel_);
      channel_kind_ = ckNone;
      channel_ = 0;
      // The library opened the channel without fault; the player refuses
      // its sample format.
      ShowError("Sound card does not support 16-bit sources.", BASS_ERROR_FORMAT);
      return false;
    }
  }
  ClearEffectHandles();
  if (channel_kind_ != ckPlugin) SetEffects(effects_);
  current_file_ = FileName;
  stream_info_ = info;
  support_kind_ = support;
  play_state_ = psOpened;
  return true;
}

bool TBASSPlayer::StartChannel(bool SetSync) {
  bool ok = false;
  switch (channel_kind_) {
    case ckStream:
    case ckWMAStream:
      ok = BASS_StreamPlay(channel_, FALSE, 0) != 0;
      break;
    case ckMusic:
      ok = BASS_MusicPlay(channel_) != 0;
      break;
    case ckPlugin:
      ok = StartPlugin();
      break;
    default:
      return false;
  }
  if (!ok) return false;
  if (SetSync && channel_kind_ != ckPlugin) {
    end_sync_ =
        channel_kind_ == ckWMAStream
            ? BASS_WMA_ChannelSetSync(channel_, BASS_SYNC_END, 0, EndSyncProc, message_window_)
            : BASS_ChannelSetSync(channel_, BASS_SYNC_END, 0, EndSyncProc, message_window_);
  }
  play_state_ = psPlaying;
  if (OnNewFFTData && channel_kind_ != ckPlugin) spectrum_timer_->SetEnabled(true);
  return true;
}

void TBASSPlayer::PluginWait(uint32_t Ms) {
  if (Application) Application->ProcessMessages();
  HostAwaitOutput(Ms);
  Sleep(Ms);
}

bool TBASSPlayer::StartPlugin() {
  if (!plugin_module_ || !plugin_module_->Play) return false;
  busy_ = true;
  plugin_output_started_ = false;
  channel_ = 1;
  const std::string path = NativePath(current_file_);
  plugin_module_->Play(const_cast<char*>(path.c_str()));
  SetVolume(plugin_volume_);
  bool ok = false;
  for (int round = 0; round < 60 && !ok; ++round) {
    if (plugin_module_->GetOutputTime && plugin_module_->GetOutputTime() > 200)
      ok = true;
    else
      PluginWait(50);
  }
  busy_ = false;
  return ok;
}

void TBASSPlayer::Play() {
  if (busy_ || channel_kind_ == ckNone || play_state_ == psPlaying) return;
  if (play_state_ == psPaused) {
    Resume();
  } else if (play_state_ == psStopped) {
    if (channel_kind_ != ckPlugin) SetPlaybackPosition(0);
    Restart();
  } else {
    StartChannel(true);
  }
}

void TBASSPlayer::Resume() {
  if (play_state_ != psPaused) return;
  if (channel_kind_ == ckPlugin) {
    if (plugin_module_ && plugin_module_->UnPause) plugin_module_->UnPause();
  } else {
    BASS_ChannelResume(channel_);
  }
  play_state_ = psPlaying;
  if (OnNewFFTData && (channel_kind_ != ckPlugin || plugin_output_started_))
    spectrum_timer_->SetEnabled(true);
}

void TBASSPlayer::Restart() {
  if (play_state_ != psStopped || busy_) return;
  StartChannel(false);
}

void TBASSPlayer::Stop() {
  if (play_state_ != psPlaying) return;
  if (channel_kind_ == ckPlugin) {
    if (channel_ != 0) {
      if (plugin_module_ && plugin_module_->Stop) plugin_module_->Stop();
      channel_ = 0;
      ClearEffectHandles();
    }
  } else {
    BASS_ChannelStop(channel_);
  }
  play_state_ = psStopped;
}

uint32_t TBASSPlayer::GetPlaybackLength() {
  int64_t bytes;
  switch (channel_kind_) {
    case ckStream:
    case ckWMAStream:
      bytes = static_cast<int64_t>(BASS_StreamGetLength(channel_));
      break;
    case ckMusic:
      bytes = static_cast<int32_t>(BASS_MusicGetLength(channel_, TRUE));
      break;
    case ckPlugin:
      return stream_info_.Duration;
    default:
      return 0;
  }
  if (bytes < 0) bytes = 0;
  return Milliseconds(BASS_ChannelBytes2Seconds(channel_, static_cast<BASS_QWORD>(bytes)));
}

uint32_t TBASSPlayer::GetPlaybackPosition() {
  switch (channel_kind_) {
    case ckStream:
    case ckWMAStream: {
      int64_t bytes = static_cast<int64_t>(BASS_ChannelGetPosition(channel_));
      if (bytes < 0) bytes = 0;
      return Milliseconds(BASS_ChannelBytes2Seconds(channel_, static_cast<BASS_QWORD>(bytes)));
    }
    case ckPlugin: {
      if (play_state_ == psOpened) return 0;
      const int32_t ms = HostOutputTime(plugin_output_started_);
      return ms > 0 ? static_cast<uint32_t>(ms) : 0;
    }
    default:
      return 0;  // a module has no position
  }
}

void TBASSPlayer::SetPlaybackPosition(uint32_t Ms) {
  if (channel_kind_ == ckNone || Ms > stream_info_.Duration || busy_) return;
  const BASS_QWORD bytes = BASS_ChannelSeconds2Bytes(channel_, static_cast<float>(Ms / 1000.0));
  if (channel_kind_ == ckStream || channel_kind_ == ckWMAStream) {
    BASS_ChannelSetPosition(channel_, bytes);
  } else if (channel_kind_ == ckPlugin && play_state_ == psPlaying && plugin_output_started_ &&
             plugin_module_ && plugin_module_->SetOutputTime) {
    busy_ = true;
    MarkSeek();
    plugin_module_->SetOutputTime(static_cast<int32_t>(Ms));
    // The output restarts once the plug-in has refilled it.
    for (int waits = 0; play_state_ == psPlaying; ++waits) {
      if (!busy_) {
        if (OnNewFFTData) spectrum_timer_->SetEnabled(true);
        break;
      }
      if (waits == 51) break;
      PluginWait(40);
    }
    busy_ = false;
  }
}

void TBASSPlayer::SetVolume(int32_t Volume) {
  if (Volume > 100) Volume = 100;
  if (Volume < -1) Volume = 0;
  if (!bass_loaded_ || !BASS_SetGlobalVolumes) return;
  if (channel_kind_ == ckPlugin) {
    if (plugin_module_ && plugin_module_->SetVolume)
      plugin_module_->SetVolume(static_cast<int32_t>(std::nearbyint(Volume * 255.0 / 100.0)));
    plugin_volume_ = Volume;
  } else if (channel_kind_ == ckMusic) {
    BASS_SetGlobalVolumes(Volume, -1, -1);
    music_volume_ = Volume;
  } else {
    BASS_SetGlobalVolumes(-1, -1, Volume);
    stream_volume_ = Volume;
  }
}

void TBASSPlayer::StopZerIdiput() {
  if (FindWindowA("TApplication", "ZerIdi") && shared_memory_) shared_memory_->Notify(20, 0);
}

LRESULT TBASSPlayer::WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case 17:  // WM_QUERYENDSESSION
      return 1;
    case WM_PlayEnd:
      // The end of a channel that has since been replaced is old news.
      if (WParam != channel_ || channel_kind_ == ckNone || channel_kind_ == ckPlugin) return 0;
      play_state_ = psStopped;
      if (OnPlayEnd) OnPlayEnd(this);
      return 0;
    case WM_PluginEOF:
      busy_ = false;
      // The emulated output still plays what it was given: at most the
      // ring's length of audio, and a second to spare.
      if (plugin_output_started_) {
        const uint32_t rounds = (EmulatorRingMilliseconds() + 1000) / 50;
        for (uint32_t r = 0; r < rounds && BASS_ChannelIsActive &&
                             BASS_ChannelIsActive(channel_) == BASS_ACTIVE_PLAYING;
             ++r)
          PluginWait(50);
      }
      Stop();
      if (OnPlayEnd) OnPlayEnd(this);
      return 0;
    case WM_PluginStartPlay: {
      busy_ = false;
      plugin_output_started_ = true;
      if (LParam) {
        const auto* r = reinterpret_cast<const TPluginStartRecord*>(LParam);
        stream_info_.Channels = r->Channels;
        stream_info_.SampleRate = static_cast<int32_t>(r->SampleRate);
        if (OnPluginStartPlay) OnPluginStartPlay(this, r->Channels, r->SampleRate);
      }
      if (OnNewFFTData) spectrum_timer_->SetEnabled(true);
      SetEffects(effects_);
      return 0;
    }
    case WM_SetChannel:
      channel_ = static_cast<BASS_DWORD>(WParam);
      return 0;
    case WM_NewFFTData:
      if (OnNewFFTData) OnNewFFTData(this, band_out_);
      return 0;
    case WM_SetPluginFirst:
      PluginFirst = LParam != 0;
      return 0;
    default:
      return 0;
  }
}
