// The link to an outside visualisation program: a named shared block with a
// companion mutex, and notices posted to the program's window, found by its
// class and title.
#pragma once

#include <cstdint>
#include <string>

#include "framework/classes.h"
#include "platform/win/ipc.h"
#include "platform/win/wintypes.h"

class TfisSharedMemory : public TComponent {
 public:
  TAL_CLASS_NAME(TfisSharedMemory)
  explicit TfisSharedMemory(TComponent* AOwner);
  ~TfisSharedMemory() override;

  bool ReadOnly = false;
  std::string ShareName;
  std::string TargetApplication;
  int32_t Size = 0;
  bool MsgOutOnErr = false;
  int32_t Timeout = -1;  // kept for the owner; no operation waits

  // Creates the block and its mutex; false when the block could not be made
  // or another creator already holds the name (the mutex is made anyway).
  bool OpenMapping();
  // Size bytes, read-only when ReadOnly; nil on failure.
  void* MapView();
  // False when no mapping is open.
  bool UnmapView(void* View);
  bool CloseMapping();
  // Posts "WM_SendingData" (Code, Value) to the target program's window.
  void Notify(WPARAM Code, LPARAM Value);

  HANDLE MappingHandle() const { return mapping_; }
  HANDLE MutexHandle() const { return mutex_; }
  HWND TargetWindow() const { return target_; }
  UINT SendingDataMessage() const { return sending_data_; }

 private:
  HWND target_ = nullptr;
  UINT sending_data_ = 0;
  UINT requesting_data_ = 0;
  HANDLE mapping_ = nullptr;
  HANDLE mutex_ = nullptr;
};
