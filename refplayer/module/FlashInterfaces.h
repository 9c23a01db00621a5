#pragma once

// Identities and numbers the player object shares with its hosts.

#include <windows.h>
#include <ole2.h>

// {D27CDB6E-AE6D-11CF-96B8-444553540000}: the player class.
inline const CLSID CLSID_RefPlayer = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6C-AE6D-11CF-96B8-444553540000}: the scripting interface, called through its table.
inline const IID IID_IShockwaveFlash = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6D-AE6D-11CF-96B8-444553540000}: the event dispinterface.
inline const IID DIID_DShockwaveFlashEvents = {0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// Event DISPIDs; the argument order of each is given where it is raised.
enum : DISPID {
    DispidReadyStateChange = -609,
    DispidFSCommand = 150,
    DispidFlashCall = 197,
    DispidProgress = 1958,
};

// The ReadyState property, as property-change notifications name it.
constexpr DISPID DispidReadyState = -525;

// Slots of the scripting interface's function table: 0-2 IUnknown, 3-6 IDispatch, then the
// player's own. Version 6 objects end after TGetPropertyNum; later ones after
// put_AllowFullScreen.
enum FlashSlot : int {
    SlotLastOfVersion6 = 72,
    SlotLastOfVersion10 = 99,
};
