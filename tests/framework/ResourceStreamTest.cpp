// Reads the resources of TestResources.rc, compiled into this program.
#include <windows.h>

#include "framework/Streams.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kMovie = "embedded movie bytes";
const std::string kNumbered = "numbered resource";

std::string ReadRest(TStream& stream) {
    std::string text(static_cast<size_t>(stream.Size() - stream.Position()), '\0');
    stream.ReadBuffer(&text[0], static_cast<int32_t>(text.size()));
    return text;
}

std::string NotFoundMessage(void* instance, const char* name, const char* type) {
    try {
        TResourceStream stream(instance, name, type);
    } catch (const EResNotFound& error) {
        return error.Message;
    }
    return "(found)";
}

}  // namespace

TEST(ResourceStream, NamedResourceIsFoundWithoutRegardToCase) {
    for (const char* name : {"Movie", "MOVIE", "movie"}) {
        TResourceStream stream(nullptr, name, "swf");
        EXPECT_EQ(stream.Size(), static_cast<int32_t>(kMovie.size())) << name;
        EXPECT_EQ(ReadRest(stream), kMovie) << name;
    }
}

TEST(ResourceStream, NumberedResourceOfAModuleHandle) {
    TResourceStream stream(GetModuleHandleA(nullptr), 42, RT_RCDATA);
    EXPECT_EQ(ReadRest(stream), kNumbered);
    EXPECT_EQ(std::string(static_cast<const char*>(stream.Memory()), kNumbered.size()), kNumbered);
}

TEST(ResourceStream, SeekAndReadLikeAMemoryStream) {
    TResourceStream stream(nullptr, "Movie", "SWF");
    EXPECT_EQ(stream.Seek(-5, soFromEnd), static_cast<int32_t>(kMovie.size()) - 5);
    EXPECT_EQ(ReadRest(stream), "bytes");
    EXPECT_EQ(stream.Seek(100, soFromBeginning), 100);
    char byte;
    EXPECT_EQ(stream.Read(&byte, 1), 0);
    EXPECT_THROW(stream.Seek(-1, soFromBeginning), EStreamError);
    EXPECT_EQ(stream.Position(), 100);
}

TEST(ResourceStream, IsReadOnly) {
    TResourceStream stream(nullptr, "Movie", "SWF");
    EXPECT_THROW(stream.Write("x", 1), EStreamError);
    EXPECT_THROW(stream.SetSize(0), EStreamError);
    EXPECT_EQ(ReadRest(stream), kMovie);
}

TEST(ResourceStream, CopiesIntoAMemoryStream) {
    TResourceStream resource(nullptr, "Movie", "SWF");
    TMemoryStream memory;
    EXPECT_EQ(memory.CopyFrom(resource, 0), static_cast<int32_t>(kMovie.size()));
    EXPECT_EQ(std::string(static_cast<const char*>(memory.Memory()), kMovie.size()), kMovie);
}

TEST(ResourceStream, MissingResourceNamesItInTheMessage) {
    EXPECT_EQ(NotFoundMessage(nullptr, "NoSuchMovie", "SWF"), "Resource NoSuchMovie not found");
    EXPECT_EQ(NotFoundMessage(nullptr, "Movie", "FLV"), "Resource Movie not found")
        << "the type takes part in the search";
    EXPECT_EQ(NotFoundMessage(nullptr, MAKEINTRESOURCEA(4711), RT_RCDATA),
              "Resource 4711 not found");
    try {
        TResourceStream stream(nullptr, 0x12345, RT_RCDATA);
        FAIL() << "an identifier above 16 bits must not be truncated into another one";
    } catch (const EResNotFound& error) {
        EXPECT_EQ(error.Message, "Resource 74565 not found");
    }
    EXPECT_THROW(TResourceStream(nullptr, 42 + 0x10000, RT_RCDATA), EResNotFound);
}
