#include "refplayer/module/ConnectionPoint.h"

#include <olectl.h>

#include "refplayer/module/FlashInterfaces.h"

HRESULT TConnectionPoint::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT TConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT TConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    *container = container_;
    container_->AddRef();
    return S_OK;
}

HRESULT TConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    // The event interface is a dispinterface: a sink that is a plain IDispatch will do.
    TComPtr<IUnknown> held;
    sink->QueryInterface(iid_, held.PutVoid());
    if (!held && iid_ == DIID_DShockwaveFlashEvents) sink->QueryInterface(IID_IDispatch, held.PutVoid());
    if (!held) return CONNECT_E_CANNOTCONNECT;
    *cookie = nextCookie_++;
    sinks_.emplace_back(*cookie, held);
    return S_OK;
}

HRESULT TConnectionPoint::Unadvise(DWORD cookie) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->first == cookie) {
            TComPtr<IUnknown> released = std::move(it->second);
            sinks_.erase(it);
            return S_OK;  // released after the list is consistent again
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT TConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
}

std::vector<TComPtr<IUnknown>> TConnectionPoint::Sinks() const {
    std::vector<TComPtr<IUnknown>> sinks;
    for (const auto& entry : sinks_) sinks.push_back(entry.second);
    return sinks;
}
