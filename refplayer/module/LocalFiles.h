#pragma once

// Local files the player reads itself, through the kernel32 file functions: the machine's
// player settings and videos given by local path.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// "name=value" lines of the settings file in the system folder ("refplayer.cfg"); empty
// when there is none. Names are case-sensitive; a UTF-8 byte-order mark is skipped.
std::map<std::string, std::string> ReadPlayerSettings();

// The whole of a local file; false when it cannot be opened or read.
bool ReadLocalFile(const std::wstring& path, std::vector<uint8_t>& data);
