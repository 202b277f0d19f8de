// The WMA add-on: ASF files decoded by libavformat/libavcodec into a stream
// channel of the main library. Encoding and the reader object are not here.
#include <memory>

#include "audiolib/bass.h"
#include "audiolib/channels.h"
#include "audiolib/decoder.h"

#define BASS_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" HSYNC BASS_ChannelSetSync(BASS_DWORD Handle, BASS_DWORD Type, BASS_QWORD Param,
                                     SYNCPROC Proc, void* User);

BASS_EXPORT HSTREAM BASS_WMA_StreamCreateFile(BASS_BOOL Mem, const void* File, BASS_DWORD Offset,
                                              BASS_DWORD Length, BASS_DWORD Flags) {
  return BassGuarded<HSTREAM>(0, [&]() -> HSTREAM {
    if (Mem || !File) {
      BassSetError(BASS_ERROR_NOTAVAIL);
      return 0;
    }
    const TSourceFile file(static_cast<const char*>(File));
    if (file.Error() != BASS_OK) {
      BassSetError(file.Error());
      return 0;
    }
    std::unique_ptr<TDecoder> d = OpenAsfDecoder(file.Path());
    if (!d) {
      BassSetError(BASS_ERROR_FILEFORM);
      return 0;
    }
    return BassAdoptDecoder(std::move(d));
  });
}

// The main library's call, which keeps its exceptions to itself.
BASS_EXPORT HSYNC BASS_WMA_ChannelSetSync(BASS_DWORD Handle, BASS_DWORD Type, BASS_QWORD Param,
                                          SYNCPROC Proc, void* User) {
  return BASS_ChannelSetSync(Handle, Type, Param, Proc, User);
}

#define TAL_WMA_NOT_AVAILABLE(name, ret, value, ...) \
  BASS_EXPORT ret name(__VA_ARGS__) {                \
    BassSetError(BASS_ERROR_NOTAVAIL);               \
    return value;                                    \
  }

TAL_WMA_NOT_AVAILABLE(BASS_WMA_GetIWMReader, void*, nullptr, HSTREAM)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeGetRates, const BASS_DWORD*, nullptr, BASS_DWORD, BASS_DWORD)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeOpenFile, BASS_DWORD, 0, BASS_DWORD, BASS_DWORD, BASS_DWORD,
                      BASS_DWORD, const char*)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeOpenNetwork, BASS_DWORD, 0, BASS_DWORD, BASS_DWORD, BASS_DWORD,
                      BASS_DWORD, BASS_DWORD, BASS_DWORD)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeGetPort, BASS_DWORD, 0, BASS_DWORD)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeSetNotify, BASS_BOOL, 0, BASS_DWORD, void*, void*)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeGetClients, BASS_DWORD, 0, BASS_DWORD)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeSetTag, BASS_BOOL, 0, BASS_DWORD, const char*, const char*)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeWrite, BASS_BOOL, 0, BASS_DWORD, const void*, BASS_DWORD)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeClose, void*, nullptr, BASS_DWORD)
