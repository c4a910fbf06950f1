// Media Foundation, loaded when the media source is first created: the module
// imports nothing from it, so that the filter still loads where Media
// Foundation is missing (Windows N editions without the Media Feature Pack).
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>

// The functions of mfplat.dll the media source calls.
struct MfRuntime {
  decltype(&::MFStartup) Startup = nullptr;
  decltype(&::MFShutdown) Shutdown = nullptr;
  decltype(&::MFCreateAttributes) CreateAttributes = nullptr;
  decltype(&::MFCreateEventQueue) CreateEventQueue = nullptr;
  decltype(&::MFCreateMediaType) CreateMediaType = nullptr;
  decltype(&::MFCreateStreamDescriptor) CreateStreamDescriptor = nullptr;
  decltype(&::MFCreatePresentationDescriptor) CreatePresentationDescriptor = nullptr;
  decltype(&::MFCreateSample) CreateSample = nullptr;
  decltype(&::MFCreate2DMediaBuffer) Create2DMediaBuffer = nullptr;
  decltype(&::MFCreateMemoryBuffer) CreateMemoryBuffer = nullptr;
  decltype(&::MFGetSystemTime) GetSystemTime = nullptr;
};

// The table, loaded on the first call (thread-safe); null when mfplat.dll or
// one of the functions is missing. The library stays loaded for the life of
// the process.
const MfRuntime* MediaFoundation();
