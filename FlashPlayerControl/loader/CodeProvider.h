#pragma once

// A code provider owns one mapped copy of the player module and makes player objects from
// it. The library keeps one, found through the system's registration of the player class,
// for the whole run; the controls create their objects through it.

#include <windows.h>

#include <cstdint>
#include <memory>

#include "FlashPlayerControl/loader/FlashOCXLoader.h"
#include "framework/Object.h"
#include "framework/Streams.h"

// {D27CDB6E-AE6D-11CF-96B8-444553540000}: the player class.
extern const CLSID CLSID_FlashPlayer;

class TFlashOCXCodeProviderBasedOnStream : public TObject {
public:
    // Maps the module the stream holds; a null stream, or any fault while mapping, gives a
    // provider that cannot create objects (version 0). Never raises.
    explicit TFlashOCXCodeProviderBasedOnStream(TStream* stream);
    ~TFlashOCXCodeProviderBasedOnStream() override;

    uint32_t GetCodeVersion() const { return CodeVersion; }

    // A new player object from the module as the requested interface. E_FAIL when the module
    // has no class object; otherwise S_OK, and instance tells whether an object was made.
    HRESULT CreateFlashInstance(REFIID iid, void** instance);

    TFlashOCXLoader* GetLoader() const { return Loader.get(); }

protected:
    TFlashOCXCodeProviderBasedOnStream() = default;
    void LoadFrom(TStream& stream);

    using TGetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    TGetClassObject GetClassObjectEntry = nullptr;
    uint32_t CodeVersion = 0;
    std::unique_ptr<TFlashOCXLoader> Loader;
};

// The provider of the installed player: the module file named by the registration of the
// player class under HKEY_CLASSES_ROOT. No registration, or a file that cannot be read, gives
// an empty provider. Stores itself in FlashCodeProvider first.
class TFlashOCXCodeProviderBasedOnSystemInstalledOCX : public TFlashOCXCodeProviderBasedOnStream {
public:
    TFlashOCXCodeProviderBasedOnSystemInstalledOCX();
};

// The registry key whose default value names the installed player module.
extern const char* const FlashPlayerRegistryKey;
