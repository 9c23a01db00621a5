#pragma once

// The content of an application stream read into one movable memory block, the form a
// content provider takes over without copying it again.

#include <windows.h>

#include <utility>

#include "framework/Streams.h"

class TContentBlock {
public:
    TContentBlock() = default;
    TContentBlock(TContentBlock&& other) noexcept
        : Size(other.Size), block_(std::exchange(other.block_, nullptr)) {}
    TContentBlock& operator=(TContentBlock&&) = delete;
    ~TContentBlock() {
        if (block_) GlobalFree(block_);
    }

    HGLOBAL Block() const { return block_; }
    // Hands the block over; the new owner frees it.
    HGLOBAL Release() { return std::exchange(block_, nullptr); }

    ULONG Size = 0;   // bytes of content; the block may be larger

private:
    friend TContentBlock ReadStreamIntoBlock(TStream& source);
    HGLOBAL block_ = nullptr;
};

// Reads source from its beginning to its end into a block sized from the source's size, so an
// honest stream is read once with no reallocation. A stream that cannot seek is read from
// where it stands. The end is where the source stops giving bytes, whatever its size said:
// a short stream gives what it has, a longer one everything it gives (the block grows then).
// An error the source raises propagates; a block that cannot be had raises EReadError.
TContentBlock ReadStreamIntoBlock(TStream& source);
