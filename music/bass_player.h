// The music player component: binds the audio library by name, starts the
// default device, opens a music file by path after reading its header and
// tags, plays and seeks it, reports length and position in milliseconds,
// sets the volume and tells its owner when playback ends.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audiolib/bass.h"
#include "framework/classes.h"
#include "framework/extctrls.h"
#include "music/appexec.h"
#include "music/fis_shared_memory.h"
#include "music/mpeg_audio.h"
#include "music/plugin_config.h"
#include "music/plugin_ctrl.h"
#include "music/stream_files.h"
#include "platform/win/wintypes.h"

enum TChannelKind : uint8_t { ckNone, ckStream, ckWMAStream, ckMusic, ckPlugin };
enum TFileSupport : uint8_t { fsBoth, fsBASS, fsPlugin, fsNone };
enum TPlayState : uint8_t { psNotOpened, psOpened, psStopped, psPlaying, psPaused };
enum TSoundEffect : uint8_t { Flanger = 1, Equalizer = 2, Echo = 4, Reverb = 8 };
using TSoundEffects = uint8_t;
using TBandOut = std::array<uint16_t, 25>;

struct TStreamInfo {
  std::string FileName;
  int32_t FileSize = 0;
  int32_t SampleRate = 0;
  int32_t BitRate = 0;
  uint32_t Duration = 0;
  uint16_t Channels = 0;
  std::string Title, Artist, Album, Year, Genre;
  uint8_t GenreID = 0;
  uint8_t Track = 0;
  std::string Comment;
};

// The player's own messages; the plug-in host's are in plugin_ctrl.h.
constexpr UINT WM_PlayEnd = 1131;
constexpr UINT WM_NewFFTData = 1132;

class TBASSPlayer : public TComponent {
 public:
  TAL_CLASS_NAME(TBASSPlayer)
  explicit TBASSPlayer(TComponent* AOwner);
  ~TBASSPlayer() override;

  bool OpenFile(const std::string& FileName);
  void Play();
  void Stop();
  uint32_t GetPlaybackLength();
  uint32_t GetPlaybackPosition();
  void SetPlaybackPosition(uint32_t Ms);
  void SetVolume(int32_t Volume);
  void StopZerIdiput();
  // Stores the set and applies it to the current channel; without one, the
  // next open applies it.
  void SetEffects(TSoundEffects NewEffects);
  // Forgets the installed effects (they die with their channel).
  void ClearEffectHandles();
  // The spectrum timer's step: 25 bands from the playing channel's FFT.
  void SpectrumTimerTick();

  // The library is bound, its version accepted and the device started;
  // set by the constructor only, read by the game.
  bool AudioReady = false;
  bool WMAReady() const { return wma_ready_; }
  bool DX8EffectReady() const { return dx8_effect_ready_; }
  const std::string& Version() const { return version_; }
  const std::string& BASSDLLVer() const { return bass_dll_ver_; }
  const std::string& CurrentFile() const { return current_file_; }
  TFileSupport SupportKind() const { return support_kind_; }
  const TStreamInfo& StreamInfo() const { return stream_info_; }
  TPlayState PlayState() const { return play_state_; }
  TChannelKind ChannelKind() const { return channel_kind_; }
  BASS_DWORD Channel() const { return channel_; }
  int32_t MusicVolume() const { return music_volume_; }
  int32_t StreamVolume() const { return stream_volume_; }
  bool PluginFirst = false;
  HWND MessageWindow() const { return message_window_; }
  HWND HostWindow() const { return host_window_; }
  int32_t PluginIndex() const { return plugin_index_; }
  bool Busy() const { return busy_; }
  bool PluginOutputStarted() const { return plugin_output_started_; }
  TSoundEffects Effects() const { return effects_; }
  HDSP FlangerDSPHandle() const { return flanger_dsp_; }
  // Equaliser bands 0 to 9, then the echo and the reverb.
  const std::array<HFX, 12>& FXHandles() const { return fx_handles_; }
  const TBandOut& BandOut() const { return band_out_; }
  bool SpectrumTimerEnabled() const { return spectrum_timer_->Enabled(); }
  TfisSharedMemory* SharedMemory() const { return shared_memory_.get(); }
  void* SharedView() const { return shared_view_; }
  TAppExec* AppExec() const { return app_exec_.get(); }
  TPluginConfigForm* ConfigForm() const { return config_form_.get(); }

  static constexpr int kEQBands = 10;
  static constexpr int kEchoSlot = 10;
  static constexpr int kReverbSlot = 11;
  struct TEQBand {
    float Center;     // Hz
    float Bandwidth;  // semitones
  };
  // The owner may tune these; the next SetEffects applies them.
  std::array<float, kEQBands>& EQGains() { return eq_gains_; }
  uint16_t& EchoLevel() { return echo_level_; }
  uint16_t& ReverbLevel() { return reverb_level_; }

  TNotifyEvent OnPlayEnd;
  std::function<void(TObject*, uint16_t, uint32_t)> OnPluginStartPlay;
  std::function<void(TObject*, const TBandOut&)> OnNewFFTData;

  // Reads a file's header and tags; false when no reader accepts it.
  bool GetStreamInfo(const std::string& FileName, TStreamInfo& Info, int& PluginIndex,
                     TFileSupport& Support);

 private:
  LRESULT WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  // An error box: the text and the library's last error code, or Code
  // when the player itself found the fault.
  void ShowError(const std::string& Text);
  void ShowError(const std::string& Text, int32_t Code);
  void Resume();
  void Restart();
  bool StartChannel(bool SetSync);
  bool StartPlugin();
  // One round of a wait for the plug-in: messages, then Ms of time.
  void PluginWait(uint32_t Ms);

  HWND app_window_ = nullptr;
  std::unique_ptr<TTimer> spectrum_timer_;
  TChannelKind channel_kind_ = ckNone;
  BASS_DWORD channel_ = 0;
  HWND message_window_ = nullptr;
  HWND host_window_ = nullptr;
  bool busy_ = false;
  bool plugin_output_started_ = false;
  bool bass_loaded_ = false;
  BASS_INFO device_info_{};
  TSoundEffects effects_ = 0;
  HSYNC end_sync_ = 0;
  HDSP flanger_dsp_ = 0;
  std::array<HFX, 12> fx_handles_{};
  TBandOut band_out_{};
  std::unique_ptr<TfisSharedMemory> shared_memory_;
  void* shared_view_ = nullptr;
  std::unique_ptr<TMPEGaudio> mpeg_reader_;
  std::unique_ptr<TOggVorbis> ogg_reader_;
  std::unique_ptr<TWMAfile> wma_reader_;
  std::unique_ptr<TWAVfile> wav_reader_;
  std::unique_ptr<TAppExec> app_exec_;
  std::unique_ptr<TPluginConfigForm> config_form_;
  In_Module* plugin_module_ = nullptr;
  bool wma_ready_ = false;
  int32_t plugin_index_ = -1;
  std::string version_ = "1.2";
  std::string bass_dll_ver_;
  std::string current_file_;
  TFileSupport support_kind_ = fsNone;
  TStreamInfo stream_info_;
  int32_t music_volume_ = 0, stream_volume_ = 0, plugin_volume_ = 255;
  bool dx8_effect_ready_ = false;
  uint16_t echo_level_ = 16, reverb_level_ = 16;
  std::array<float, kEQBands> eq_gains_{};
  uint16_t eq_band_count_ = 10;
  std::array<TEQBand, kEQBands> eq_bands_ = {{{80, 4},
                                              {170, 4},
                                              {310, 4},
                                              {600, 4},
                                              {1000, 5},
                                              {3000, 6},
                                              {6000, 5},
                                              {10000, 4},
                                              {12000, 3},
                                              {14000, 3}}};
  BASS_FXPARAMEQ eq_params_{};
  BASS_FXECHO echo_params_{};
  BASS_FXREVERB reverb_params_{};
  TPlayState play_state_ = psNotOpened;
};
