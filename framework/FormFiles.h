#pragma once

#include <windows.h>

#include <string>

#include "framework/Component.h"
#include "framework/FormFileParser.h"
#include "framework/Streams.h"

// Form files describe a component (a form) and the components it owns as text:
//
//   object MainForm: TMainForm
//     Caption = 'Demo'
//     ClientWidth = 632
//     BorderIcons = [biSystemMenu, biMinimize]
//     OnCreate = FormCreate
//     object Button1: TButton
//       Caption = 'It''s me'#13#10'again'
//       OnClick = Button1Click
//     end
//   end
//
// Values are integers (decimal, or hexadecimal after '$'), strings (quoted, with '' for a
// quote, #n for a character by number, parts joined by '+' or written next to each other),
// identifiers (True, False, enumeration values, colour names, component and event handler
// names) and sets in brackets. Sub-object values are written as dotted names (Font.Height).
// Reading creates each nested object through its registered class, gives it its parent
// (SetParentComponent) and then assigns the values through the property setters in the
// order the file lists them. Event handlers are looked up among the methods the root
// published; component references are resolved once the whole file is read; Loaded runs
// last, for every component read.


using TComponentFactory = TComponent* (*)(TComponent* owner);
void RegisterComponentClass(const char* className, TComponentFactory factory);
template <typename T>
void RegisterComponentClass(const char* className) {
    RegisterComponentClass(className, [](TComponent* owner) -> TComponent* { return new T(owner); });
}

void ReadComponentText(TComponent* root, const std::string& text);
void ReadComponent(TComponent* root, TStream& stream);
// Reads the RCDATA resource of that name from module; false when there is none.
bool ReadComponentResource(TComponent* root, const char* resourceName, HINSTANCE module);

std::string WriteComponentText(TComponent* root);
void WriteComponent(TComponent* root, TStream& stream);
