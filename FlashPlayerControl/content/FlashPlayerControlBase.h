#pragma once

/// \file
/// IFlashPlayerControlBase, the interface between the library's content manager and a
/// player control.

#include <windows.h>
#include <unknwn.h>

#include <cstdint>
#include <string>

#include "framework/Streams.h"

/// The interface through which the content manager talks to a player control. Both
/// controls implement it; the content manager reaches them only through it, on the thread
/// the player asks from (the player's thread). Results are HRESULTs; the three Fire
/// operations answer S_FALSE when the control's event is not assigned. Applications rarely
/// call it themselves.
struct IFlashPlayerControlBase : public IUnknown {
    /// Sets the player's Movie to \p url (a path of the library's own address space for a
    /// movie from a stream).
    virtual HRESULT STDMETHODCALLTYPE SetMovieURL(const std::wstring& url) = 0;
    /// Loads \p url into the player's \p layer.
    virtual HRESULT STDMETHODCALLTYPE LoadMovieURL(int32_t layer, const std::wstring& url) = 0;
    /// The control's Base: the folder or URL under which unserved relative requests are looked
    /// up (empty: the current directory).
    virtual HRESULT STDMETHODCALLTYPE GetBaseURL(std::wstring& base) = 0;
    /// Raises OnLoadExternalResource: the handler writes the resource into \p stream before
    /// it returns.
    virtual HRESULT STDMETHODCALLTYPE FireLoadExternalResource(const std::wstring& url, TStream* stream) = 0;
    /// Raises OnLoadExternalResourceEx: a handler that sets \p handled keeps \p stream, may
    /// write it later from any thread, and frees it when done.
    virtual HRESULT STDMETHODCALLTYPE FireLoadExternalResourceEx(const std::wstring& url, TStream* stream,
                                                                 bool& handled) = 0;
    /// Raises OnLoadExternalResourceAsync for a file the player opens: the handler returns a
    /// stream in \p stream, which the library reads and frees.
    virtual HRESULT STDMETHODCALLTYPE FireLoadExternalResourceAsync(const std::wstring& path,
                                                                    TStream*& stream) = 0;
};

// {911FA1AF-CDB2-45ED-8271-5662C59CB25D}
__CRT_UUID_DECL(IFlashPlayerControlBase, 0x911FA1AF, 0xCDB2, 0x45ED, 0x82, 0x71, 0x56, 0x62, 0xC5, 0x9C, 0xB2, 0x5D)
