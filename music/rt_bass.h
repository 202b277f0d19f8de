// The audio library and its WMA add-on, bound by file and function name at
// run time. Every call of the player goes through these variables; a missing
// library, or one lacking a single name, is an ordinary condition.
#pragma once

#include <string>

#include "audiolib/bass.h"
#include "platform/win/wintypes.h"

// Each list in binding order. CALLED names carry the type the player calls
// them with; BOUND names are only looked up.
#define TAL_BASS_NAMES(CALLED, BOUND)                                                          \
  CALLED(BASS_GetVersion, BASS_DWORD())                                                        \
  BOUND(BASS_GetDeviceDescription)                                                             \
  BOUND(BASS_SetBufferLength)                                                                  \
  CALLED(BASS_SetGlobalVolumes, void(int32_t, int32_t, int32_t))                               \
  CALLED(BASS_GetGlobalVolumes, void(BASS_DWORD*, BASS_DWORD*, BASS_DWORD*))                   \
  BOUND(BASS_SetLogCurves)                                                                     \
  BOUND(BASS_Set3DAlgorithm)                                                                   \
  CALLED(BASS_ErrorGetCode, int32_t())                                                         \
  CALLED(BASS_Init, BASS_BOOL(int32_t, BASS_DWORD, BASS_DWORD, void*))                         \
  CALLED(BASS_Free, BASS_BOOL())                                                               \
  BOUND(BASS_GetDSoundObject)                                                                  \
  CALLED(BASS_GetInfo, BASS_BOOL(BASS_INFO*))                                                  \
  BOUND(BASS_GetCPU)                                                                           \
  CALLED(BASS_Start, BASS_BOOL())                                                              \
  BOUND(BASS_Stop)                                                                             \
  BOUND(BASS_Pause)                                                                            \
  BOUND(BASS_SetVolume)                                                                        \
  BOUND(BASS_GetVolume)                                                                        \
  BOUND(BASS_Set3DFactors)                                                                     \
  BOUND(BASS_Get3DFactors)                                                                     \
  BOUND(BASS_Set3DPosition)                                                                    \
  BOUND(BASS_Get3DPosition)                                                                    \
  BOUND(BASS_Apply3D)                                                                          \
  BOUND(BASS_SetEAXParameters)                                                                 \
  BOUND(BASS_GetEAXParameters)                                                                 \
  CALLED(BASS_MusicLoad, HMUSIC(BASS_BOOL, const void*, BASS_DWORD, BASS_DWORD, BASS_DWORD))   \
  CALLED(BASS_MusicFree, BASS_BOOL(HMUSIC))                                                    \
  BOUND(BASS_MusicGetName)                                                                     \
  CALLED(BASS_MusicGetLength, BASS_DWORD(HMUSIC, BASS_BOOL))                                   \
  CALLED(BASS_MusicPlay, BASS_BOOL(HMUSIC))                                                    \
  BOUND(BASS_MusicPlayEx)                                                                      \
  BOUND(BASS_MusicSetAmplify)                                                                  \
  BOUND(BASS_MusicSetPanSep)                                                                   \
  BOUND(BASS_MusicSetPositionScaler)                                                           \
  BOUND(BASS_SampleLoad)                                                                       \
  BOUND(BASS_SampleCreate)                                                                     \
  BOUND(BASS_SampleCreateDone)                                                                 \
  BOUND(BASS_SampleFree)                                                                       \
  BOUND(BASS_SampleGetInfo)                                                                    \
  BOUND(BASS_SampleSetInfo)                                                                    \
  BOUND(BASS_SamplePlay)                                                                       \
  BOUND(BASS_SamplePlayEx)                                                                     \
  BOUND(BASS_SamplePlay3D)                                                                     \
  BOUND(BASS_SamplePlay3DEx)                                                                   \
  BOUND(BASS_SampleStop)                                                                       \
  CALLED(BASS_StreamCreate, HSTREAM(BASS_DWORD, BASS_DWORD, STREAMPROC, void*))                \
  CALLED(BASS_StreamCreateFile,                                                                \
         HSTREAM(BASS_BOOL, const void*, BASS_DWORD, BASS_DWORD, BASS_DWORD))                  \
  CALLED(BASS_StreamFree, BASS_BOOL(HSTREAM))                                                  \
  CALLED(BASS_StreamGetLength, BASS_QWORD(HSTREAM))                                            \
  CALLED(BASS_StreamPlay, BASS_BOOL(HSTREAM, BASS_BOOL, BASS_DWORD))                           \
  BOUND(BASS_CDInit)                                                                           \
  BOUND(BASS_CDFree)                                                                           \
  BOUND(BASS_CDInDrive)                                                                        \
  BOUND(BASS_CDPlay)                                                                           \
  CALLED(BASS_ChannelGetFlags, BASS_DWORD(BASS_DWORD))                                         \
  CALLED(BASS_ChannelStop, BASS_BOOL(BASS_DWORD))                                              \
  CALLED(BASS_ChannelPause, BASS_BOOL(BASS_DWORD))                                             \
  CALLED(BASS_ChannelResume, BASS_BOOL(BASS_DWORD))                                            \
  CALLED(BASS_ChannelSetAttributes, BASS_BOOL(BASS_DWORD, int32_t, int32_t, int32_t))          \
  CALLED(BASS_ChannelGetAttributes, BASS_BOOL(BASS_DWORD, BASS_DWORD*, BASS_DWORD*, int32_t*)) \
  BOUND(BASS_ChannelSet3DAttributes)                                                           \
  BOUND(BASS_ChannelGet3DAttributes)                                                           \
  BOUND(BASS_ChannelSet3DPosition)                                                             \
  BOUND(BASS_ChannelGet3DPosition)                                                             \
  CALLED(BASS_ChannelSetPosition, BASS_BOOL(BASS_DWORD, BASS_QWORD))                           \
  CALLED(BASS_ChannelGetPosition, BASS_QWORD(BASS_DWORD))                                      \
  BOUND(BASS_ChannelGetLevel)                                                                  \
  CALLED(BASS_ChannelGetData, BASS_DWORD(BASS_DWORD, void*, BASS_DWORD))                       \
  CALLED(BASS_ChannelSetSync, HSYNC(BASS_DWORD, BASS_DWORD, BASS_QWORD, SYNCPROC, void*))      \
  BOUND(BASS_ChannelRemoveSync)                                                                \
  CALLED(BASS_ChannelSetDSP, HDSP(BASS_DWORD, DSPPROC, void*))                                 \
  CALLED(BASS_ChannelRemoveDSP, BASS_BOOL(BASS_DWORD, HDSP))                                   \
  BOUND(BASS_ChannelSetEAXMix)                                                                 \
  BOUND(BASS_ChannelGetEAXMix)                                                                 \
  BOUND(BASS_StreamCreateURL)                                                                  \
  BOUND(BASS_StreamGetFilePosition)                                                            \
  BOUND(BASS_CDGetTracks)                                                                      \
  BOUND(BASS_CDGetTrackLength)                                                                 \
  CALLED(BASS_ChannelIsActive, BASS_DWORD(BASS_DWORD))                                         \
  BOUND(BASS_CDGetID)                                                                          \
  CALLED(BASS_ChannelSetFX, HFX(BASS_DWORD, BASS_DWORD))                                       \
  CALLED(BASS_ChannelRemoveFX, BASS_BOOL(BASS_DWORD, HFX))                                     \
  CALLED(BASS_FXSetParameters, BASS_BOOL(HFX, const void*))                                    \
  CALLED(BASS_FXGetParameters, BASS_BOOL(HFX, void*))                                          \
  BOUND(BASS_ChannelSetLink)                                                                   \
  BOUND(BASS_ChannelRemoveLink)                                                                \
  BOUND(BASS_MusicPreBuf)                                                                      \
  BOUND(BASS_StreamPreBuf)                                                                     \
  BOUND(BASS_Update)                                                                           \
  BOUND(BASS_StreamGetTags)                                                                    \
  CALLED(BASS_ChannelBytes2Seconds, float(BASS_DWORD, BASS_QWORD))                             \
  CALLED(BASS_ChannelSeconds2Bytes, BASS_QWORD(BASS_DWORD, float))                             \
  BOUND(BASS_SetCLSID)                                                                         \
  BOUND(BASS_MusicSetChannelVol)                                                               \
  BOUND(BASS_MusicGetChannelVol)                                                               \
  BOUND(BASS_RecordGetDeviceDescription)                                                       \
  BOUND(BASS_RecordInit)                                                                       \
  BOUND(BASS_RecordFree)                                                                       \
  BOUND(BASS_RecordGetInfo)                                                                    \
  BOUND(BASS_RecordStart)                                                                      \
  BOUND(BASS_CDDoor)                                                                           \
  BOUND(BASS_RecordGetInputName)                                                               \
  BOUND(BASS_RecordSetInput)                                                                   \
  BOUND(BASS_RecordGetInput)                                                                   \
  BOUND(BASS_SetNetConfig)                                                                     \
  BOUND(BASS_ChannelSlideAttributes)                                                           \
  BOUND(BASS_ChannelIsSliding)

#define TAL_BASSWMA_NAMES(CALLED, BOUND)                                                      \
  CALLED(BASS_WMA_StreamCreateFile,                                                           \
         HSTREAM(BASS_BOOL, const void*, BASS_DWORD, BASS_DWORD, BASS_DWORD))                 \
  CALLED(BASS_WMA_ChannelSetSync, HSYNC(BASS_DWORD, BASS_DWORD, BASS_QWORD, SYNCPROC, void*)) \
  BOUND(BASS_WMA_GetIWMReader)                                                                \
  BOUND(BASS_WMA_EncodeGetRates)                                                              \
  BOUND(BASS_WMA_EncodeOpenFile)                                                              \
  BOUND(BASS_WMA_EncodeOpenNetwork)                                                           \
  BOUND(BASS_WMA_EncodeGetPort)                                                               \
  BOUND(BASS_WMA_EncodeSetNotify)                                                             \
  BOUND(BASS_WMA_EncodeGetClients)                                                            \
  BOUND(BASS_WMA_EncodeSetTag)                                                                \
  BOUND(BASS_WMA_EncodeWrite)                                                                 \
  BOUND(BASS_WMA_EncodeClose)
namespace RT_bass {
#define TAL_DECLARE_CALLED(name, type) \
  using name##_t = type;               \
  extern name##_t* name;
#define TAL_DECLARE_BOUND(name) extern FARPROC name;
TAL_BASS_NAMES(TAL_DECLARE_CALLED, TAL_DECLARE_BOUND)
// The library handle, nullptr when not loaded.
extern HMODULE BASSHandle;
bool LoadBASS(const std::string& Folder, const std::string& FileName);
void FreeBASS();
}  // namespace RT_bass

namespace RT_BASSWMA {
TAL_BASSWMA_NAMES(TAL_DECLARE_CALLED, TAL_DECLARE_BOUND)
#undef TAL_DECLARE_CALLED
#undef TAL_DECLARE_BOUND
extern HMODULE BASSWMAHandle;
bool LoadBASSWMA(const std::string& Folder, const std::string& FileName);
void FreeBASSWMA();
}  // namespace RT_BASSWMA
