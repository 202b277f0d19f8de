// The audio library's public face: types, records, flags, error codes and
// the exported functions with C linkage. The music player binds these by
// name at run time; nothing links against libbass.so or libbasswma.so.
#pragma once

#include <cstdint>

extern "C" {

using BASS_BOOL = int32_t;
using BASS_DWORD = uint32_t;
using BASS_QWORD = uint64_t;
using HSTREAM = uint32_t;
using HMUSIC = uint32_t;
using HSAMPLE = uint32_t;
using HCHANNEL = uint32_t;
using HSYNC = uint32_t;
using HDSP = uint32_t;
using HFX = uint32_t;
using HRECORD = uint32_t;

// Error codes (BASS_ErrorGetCode).
enum : int32_t {
  BASS_OK = 0,
  BASS_ERROR_MEM = 1,
  BASS_ERROR_FILEOPEN = 2,
  BASS_ERROR_DRIVER = 3,
  BASS_ERROR_HANDLE = 5,
  BASS_ERROR_FORMAT = 6,
  BASS_ERROR_POSITION = 7,
  BASS_ERROR_INIT = 8,
  BASS_ERROR_START = 9,
  BASS_ERROR_ALREADY = 14,
  BASS_ERROR_NOPAUSE = 16,
  BASS_ERROR_ILLTYPE = 19,
  BASS_ERROR_ILLPARAM = 20,
  BASS_ERROR_DEVICE = 23,
  BASS_ERROR_NOPLAY = 24,
  BASS_ERROR_NOTAVAIL = 37,
  BASS_ERROR_DECODE = 38,
  BASS_ERROR_FILEFORM = 41,
  BASS_ERROR_UNKNOWN = -1,
};

constexpr BASS_DWORD BASS_VERSION_WORD = 0x00080001;  // low word 1, high word 8: "1.8"

// Channel and stream flags.
constexpr BASS_DWORD BASS_SAMPLE_8BITS = 1;
constexpr BASS_DWORD BASS_SAMPLE_MONO = 2;
constexpr BASS_DWORD BASS_MUSIC_CALCLEN = 0x2000;

// Channel states (BASS_ChannelIsActive).
constexpr BASS_DWORD BASS_ACTIVE_STOPPED = 0;
constexpr BASS_DWORD BASS_ACTIVE_PLAYING = 1;
constexpr BASS_DWORD BASS_ACTIVE_PAUSED = 3;

constexpr BASS_DWORD BASS_SYNC_END = 2;
constexpr BASS_DWORD BASS_DATA_FFT512 = 0x80000000u;
constexpr BASS_DWORD BASS_DATA_FAILED = 0xFFFFFFFFu;

// Effect types (BASS_ChannelSetFX).
constexpr BASS_DWORD BASS_FX_ECHO = 3;
constexpr BASS_DWORD BASS_FX_PARAMEQ = 7;
constexpr BASS_DWORD BASS_FX_REVERB = 8;

// The device record, 56 bytes; Size is set by the caller.
struct BASS_INFO {
  BASS_DWORD size;
  BASS_DWORD flags;
  BASS_DWORD hwsize;
  BASS_DWORD hwfree;
  BASS_DWORD freesam;
  BASS_DWORD free3d;
  BASS_DWORD minrate;
  BASS_DWORD maxrate;
  BASS_DWORD eax;
  BASS_DWORD minbuf;
  BASS_DWORD dsver;  // DirectSound version the device offers
  BASS_DWORD latency;
  BASS_DWORD initflags;
  BASS_DWORD speakers;
};
static_assert(sizeof(BASS_INFO) == 56);

struct BASS_FXPARAMEQ {
  float fCenter;     // Hz
  float fBandwidth;  // semitones
  float fGain;       // dB
};

struct BASS_FXECHO {
  float fWetDryMix;   // percent wet
  float fFeedback;    // percent
  float fLeftDelay;   // ms
  float fRightDelay;  // ms
  BASS_BOOL lPanDelay;
};

struct BASS_FXREVERB {
  float fInGain;      // dB
  float fReverbMix;   // dB
  float fReverbTime;  // ms
  float fHighFreqRTRatio;
};

using SYNCPROC = void (*)(HSYNC Handle, BASS_DWORD Channel, BASS_DWORD Data, void* User);
using DSPPROC = void (*)(HDSP Handle, BASS_DWORD Channel, void* Buffer, BASS_DWORD Length,
                         void* User);
// Fills up to Length bytes; a shorter return ends the stream once what it
// gave has been heard.
using STREAMPROC = BASS_DWORD (*)(HSTREAM Handle, void* Buffer, BASS_DWORD Length, void* User);

}  // extern "C"
