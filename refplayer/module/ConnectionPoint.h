#pragma once

// One outgoing interface of the player object: the sinks advised to it, by cookie. It lives
// inside the object and counts its references on the object.

#include <windows.h>
#include <ocidl.h>

#include <utility>
#include <vector>

#include "framework/ComPtr.h"

class TConnectionPoint final : public IConnectionPoint {
public:
    TConnectionPoint(IConnectionPointContainer* container, REFIID iid) : container_(container), iid_(iid) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return container_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return container_->Release(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

    const IID& Iid() const { return iid_; }
    // A copy: a sink may unadvise while it is being called.
    std::vector<TComPtr<IUnknown>> Sinks() const;
    void Clear() { sinks_.clear(); }

private:
    IConnectionPointContainer* container_;
    IID iid_;
    DWORD nextCookie_ = 1;
    std::vector<std::pair<DWORD, TComPtr<IUnknown>>> sinks_;
};
