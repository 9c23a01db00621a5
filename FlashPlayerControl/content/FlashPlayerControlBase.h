#pragma once

// The interface through which the content manager talks to a player control. Both controls
// implement it; the content manager reaches them only through it. Results are HRESULTs; the
// three Fire operations answer S_FALSE when the control's event is not assigned.

#include <windows.h>
#include <unknwn.h>

#include <cstdint>
#include <string>

#include "framework/Streams.h"

struct IFlashPlayerControlBase : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetMovieURL(const std::wstring& url) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadMovieURL(int32_t layer, const std::wstring& url) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBaseURL(std::wstring& base) = 0;
    virtual HRESULT STDMETHODCALLTYPE FireLoadExternalResource(const std::wstring& url, TStream* stream) = 0;
    virtual HRESULT STDMETHODCALLTYPE FireLoadExternalResourceEx(const std::wstring& url, TStream* stream,
                                                                 bool& handled) = 0;
    virtual HRESULT STDMETHODCALLTYPE FireLoadExternalResourceAsync(const std::wstring& path,
                                                                    TStream*& stream) = 0;
};

// {911FA1AF-CDB2-45ED-8271-5662C59CB25D}
__CRT_UUID_DECL(IFlashPlayerControlBase, 0x911FA1AF, 0xCDB2, 0x45ED, 0x82, 0x71, 0x56, 0x62, 0xC5, 0x9C, 0xB2, 0x5D)
