#include "music/fis_shared_memory.h"

#include "framework/forms.h"
#include "platform/win/process.h"
#include "platform/win/user.h"

TfisSharedMemory::TfisSharedMemory(TComponent* AOwner) : TComponent(AOwner) {
  sending_data_ = RegisterWindowMessageA("WM_SendingData");
  requesting_data_ = RegisterWindowMessageA("WM_RequestingData");
}

TfisSharedMemory::~TfisSharedMemory() {
  CloseMapping();
}

bool TfisSharedMemory::OpenMapping() {
  bool result = true;
  mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                static_cast<DWORD>(Size), ShareName.c_str());
  if (!mapping_ || GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseMapping();
    result = false;
  }
  mutex_ = CreateMutexA(nullptr, FALSE, (ShareName + "_SMMutex").c_str());
  if (!mutex_) {
    CloseMapping();
    result = false;
  }
  return result;
}

void* TfisSharedMemory::MapView() {
  void* view = MapViewOfFile(mapping_, ReadOnly ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS, 0, 0,
                             static_cast<size_t>(Size > 0 ? Size : 0));
  if (!view && mutex_) ReleaseMutex(mutex_);
  return view;
}

bool TfisSharedMemory::UnmapView(void* View) {
  if (!mapping_) return false;
  return UnmapViewOfFile(View) != FALSE;
}

bool TfisSharedMemory::CloseMapping() {
  if (mapping_) CloseHandle(mapping_);
  if (mutex_) CloseHandle(mutex_);
  mapping_ = mutex_ = nullptr;
  return true;
}

void TfisSharedMemory::Notify(WPARAM Code, LPARAM Value) {
  if (!mutex_ || TargetApplication.empty()) return;
  target_ = FindWindowA("TApplication", TargetApplication.c_str());
  if (target_) {
    PostMessageA(target_, sending_data_, Code, Value);
  } else if (MsgOutOnErr) {
    const std::string text = "The application : [" + TargetApplication +
                             "] is not active on your system." + "\n" +
                             "The notification message has not been sent.";
    if (Application)
      Application->MessageBox(text.c_str(), "Warning...", MB_OK);
    else
      MessageBoxA(nullptr, text.c_str(), "Warning...", MB_OK);
  }
}
