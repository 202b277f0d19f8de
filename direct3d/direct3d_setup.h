// Choosing a display driver for 3D drawing, making the Direct3D objects of a
// display control on its back surface, and its Z-buffer.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/draw/dxdraws.h"

// The DirectDraw bit-depth flag of a bit count; 0 for one no device has.
uint32_t BitDepthFlag(int32_t BitCount);

void SelectDisplayDriver(TDirect3DSetupOptions Options, TCustomDXDraw* DXDraw);

void InitializeDirect3D6(TDirectDrawSurface* Surface, std::unique_ptr<TDirectDrawSurface>& ZBuffer, PDirect3D& D3D,
                         TDirect3DSetupOptions& Options, PDirect3DDevice& D3DDevice3,
                         PDirect3DDevice& D3DDevice2, PDirect3DDevice& D3DDevice, PDirect3D& D3D3,
                         PDirect3D& D3D2);
void InitializeDirect3D7(TDirectDrawSurface* Surface, std::unique_ptr<TDirectDrawSurface>& ZBuffer,
                         PDirect3D& D3D7, TDirect3DSetupOptions& Options,
                         PDirect3DDevice& D3DDevice7);

void FreeZBuffer(TDirectDrawSurface* Surface, std::unique_ptr<TDirectDrawSurface>& ZBuffer);
bool CreateZBuffer(TDirectDrawSurface* Surface, std::unique_ptr<TDirectDrawSurface>& ZBuffer,
                   const D3DDEVICEDESC& Description, bool Hardware);
