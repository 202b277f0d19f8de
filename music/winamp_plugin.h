/* The input plug-in interface the player hosts, as C records in the field
   order of the Winamp 2 interface: 32-bit ints, native pointers, the
   platform's C calling convention. A plug-in is a shared library in
   "<program folder>/Plugins" exporting winampGetInModule2. Plain C, so that
   a plug-in written in C can include it. */
#ifndef TAL_MUSIC_WINAMP_PLUGIN_H
#define TAL_MUSIC_WINAMP_PLUGIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A plug-in's main window handle points at this record: the way back to
   the host from any thread. Post is safe to call from the plug-in's own
   threads; at the end of its file a plug-in posts WINAMP_PLUGIN_EOF. */
typedef struct TPluginHostRecord {
  int32_t (*Post)(struct TPluginHostRecord* Host, uint32_t Msg, uintptr_t WParam, intptr_t LParam);
} TPluginHostRecord;

#define WINAMP_PLUGIN_EOF 1026u

typedef struct Out_Module {
  int32_t version;
  char* description;
  int32_t id;
  void* hMainWindow;
  void* hDllInstance;
  void (*Config)(void* hwndParent);
  void (*About)(void* hwndParent);
  void (*Init)(void);
  void (*Quit)(void);
  int32_t (*Open)(int32_t samplerate, int32_t numchannels, int32_t bitspersamp, int32_t bufferlenms,
                  int32_t prebufferms);
  void (*Close)(void);
  int32_t (*Write)(char* buf, int32_t len);
  int32_t (*CanWrite)(void);
  int32_t (*IsPlaying)(void);
  int32_t (*Pause)(int32_t pause);
  void (*SetVolume)(int32_t volume);
  void (*SetPan)(int32_t pan);
  void (*Flush)(int32_t t);
  int32_t (*GetOutputTime)(void);
  int32_t (*GetWrittenTime)(void);
} Out_Module;

typedef struct In_Module {
  int32_t version;
  char* description;
  void* hMainWindow; /* a TPluginHostRecord* */
  void* hDllInstance;
  char* FileExtensions;
  int32_t is_seekable;
  int32_t UsesOutputPlug;
  void (*Config)(void* hwndParent);
  void (*About)(void* hwndParent);
  void (*Init)(void);
  void (*Quit)(void);
  void (*GetFileInfo)(char* file, char* title, int32_t* length_in_ms);
  int32_t (*InfoBox)(char* file, void* hwndParent);
  int32_t (*IsOurFile)(char* fn);
  int32_t (*Play)(char* fn);
  void (*Pause)(void);
  void (*UnPause)(void);
  int32_t (*IsPaused)(void);
  void (*Stop)(void);
  int32_t (*GetLength)(void);
  int32_t (*GetOutputTime)(void);
  void (*SetOutputTime)(int32_t time_in_ms);
  void (*SetVolume)(int32_t volume);
  void (*SetPan)(int32_t pan);
  void (*SAVSAInit)(int32_t maxlatency_in_ms, int32_t srate);
  void (*SAVSADeInit)(void);
  void (*SAAddPCMData)(void* PCMData, int32_t nch, int32_t bps, int32_t timestamp);
  int32_t (*SAGetMode)(void);
  void (*SAAdd)(void* data, int32_t timestamp, int32_t csa);
  void (*VSAAddPCMData)(void* PCMData, int32_t nch, int32_t bps, int32_t timestamp);
  int32_t (*VSAGetMode)(int32_t* specNch, int32_t* waveNch);
  void (*VSAAdd)(void* data, int32_t timestamp);
  void (*VSASetInfo)(int32_t srate, int32_t nch);
  int32_t (*dsp_isactive)(void);
  int32_t (*dsp_dosamples)(int16_t* samples, int32_t numsamples, int32_t bps, int32_t nch,
                           int32_t srate);
  void (*EQSet)(int32_t on, char data[10], int32_t preamp);
  void (*SetInfo)(int32_t bitrate, int32_t srate, int32_t stereo, int32_t synched);
  Out_Module* outMod;
} In_Module;

typedef In_Module* (*winampGetInModule2_t)(void);
#define WINAMP_GET_IN_MODULE2 "winampGetInModule2"

#ifdef __cplusplus
}
#endif

#endif
