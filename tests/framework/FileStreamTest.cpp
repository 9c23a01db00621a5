#include <windows.h>

#include "framework/Streams.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// A file name in the temporary folder, unique per case; the file is removed afterwards.
class TempFile {
public:
    TempFile() {
        char dir[MAX_PATH] = {};
        char file[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "fst", 0, file);  // creates an empty file
        name = file;
        DeleteFileA(file);
    }
    ~TempFile() { DeleteFileA(name.c_str()); }

    std::string name;
};

std::string ReadAll(const std::string& name) {
    TFileStream stream(name, fmOpenRead | fmShareDenyNone);
    std::string text(static_cast<size_t>(stream.Size()), '\0');
    stream.ReadBuffer(&text[0], static_cast<int32_t>(text.size()));
    return text;
}

}  // namespace

TEST(FileStream, CreateWritesAFileThatOpensForReading) {
    TempFile file;
    {
        TFileStream stream(file.name, fmCreate);
        EXPECT_EQ(stream.FileName(), file.name);
        stream.WriteBuffer("file content", 12);
        EXPECT_EQ(stream.Size(), 12);
    }
    EXPECT_EQ(ReadAll(file.name), "file content");
}

TEST(FileStream, CreateReplacesAnExistingFile) {
    TempFile file;
    { TFileStream(file.name, fmCreate).WriteBuffer("a long first content", 20); }
    { TFileStream(file.name, fmCreate).WriteBuffer("short", 5); }
    EXPECT_EQ(ReadAll(file.name), "short");
}

TEST(FileStream, OpeningAMissingFileRaisesWithItsName) {
    TempFile file;
    try {
        TFileStream stream(file.name, fmOpenRead);
        FAIL() << "opening a missing file must raise";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(error.Message, "Cannot open file " + file.name);
    }
}

TEST(FileStream, CreatingInAMissingFolderRaisesWithItsName) {
    TempFile file;
    const std::string name = file.name + "\\missing\\new.bin";
    try {
        TFileStream stream(name, fmCreate);
        FAIL() << "creating in a missing folder must raise";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(error.Message, "Cannot create file " + name);
    }
}

TEST(FileStream, ReadOnlyStreamRefusesWrites) {
    TempFile file;
    { TFileStream(file.name, fmCreate).WriteBuffer("abc", 3); }
    {
        TFileStream stream(file.name, fmOpenRead);
        EXPECT_EQ(stream.Write("x", 1), 0);
        EXPECT_THROW(stream.WriteBuffer("x", 1), EWriteError);
    }
    EXPECT_EQ(ReadAll(file.name), "abc");
}

TEST(FileStream, ShareModesDecideWhoElseMayOpen) {
    TempFile file;
    { TFileStream(file.name, fmCreate).WriteBuffer("abc", 3); }
    {
        TFileStream denyWrite(file.name, fmOpenRead | fmShareDenyWrite);
        EXPECT_NO_THROW(TFileStream(file.name, fmOpenRead | fmShareDenyNone));
        EXPECT_THROW(TFileStream(file.name, fmOpenReadWrite | fmShareDenyNone), EFOpenError);
    }
    {
        TFileStream exclusive(file.name, fmOpenReadWrite | fmShareExclusive);
        EXPECT_THROW(TFileStream(file.name, fmOpenRead | fmShareDenyNone), EFOpenError);
    }
    {
        TFileStream denyNone(file.name, fmOpenReadWrite | fmShareDenyNone);
        EXPECT_NO_THROW(TFileStream(file.name, fmOpenReadWrite | fmShareDenyNone));
    }
}

TEST(FileStream, UnknownModesRaise) {
    TempFile file;
    { TFileStream(file.name, fmCreate).WriteBuffer("abc", 3); }
    EXPECT_THROW(TFileStream(file.name, 0x0003), EStreamError);
    EXPECT_THROW(TFileStream(file.name, fmOpenRead | 0x0050), EStreamError);
    EXPECT_THROW(TFileStream(file.name, 0x0100), EStreamError);
}

TEST(HandleStream, WorksOnAHandleItDoesNotOwn) {
    TempFile file;
    HANDLE handle = CreateFileA(file.name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    {
        THandleStream stream(handle);
        stream.WriteBuffer("0123456789", 10);
        EXPECT_EQ(stream.Seek(-3, soFromEnd), 7);
        char back[4] = {};
        EXPECT_EQ(stream.Read(back, 4), 3);
        EXPECT_STREQ(back, "789");
        EXPECT_EQ(stream.Read(back, 1), 0);
        EXPECT_EQ(stream.Seek(-1, soFromBeginning), -1) << "the system's refusal comes through";
    }
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(handle, "!", 1, &written, nullptr)) << "the handle stays open";
    CloseHandle(handle);
}

TEST(HandleStream, SetSizeTruncatesOrExtendsAndKeepsAPositionInside) {
    TempFile file;
    TFileStream stream(file.name, fmCreate);
    stream.WriteBuffer("0123456789", 10);
    stream.SetPosition(2);
    stream.SetSize(5);
    EXPECT_EQ(stream.Size(), 5);
    EXPECT_EQ(stream.Position(), 2);
    stream.SetSize(8);
    EXPECT_EQ(stream.Size(), 8);
    EXPECT_EQ(stream.Position(), 2);
    stream.SetPosition(8);
    stream.SetSize(3);
    EXPECT_EQ(stream.Position(), 3) << "a position past the new end ends at the end";
    EXPECT_THROW(stream.SetSize(-1), EStreamError);
    EXPECT_EQ(stream.Size(), 3);
}

TEST(MemoryStreamFiles, SaveAndLoadRoundTrip) {
    TempFile file;
    TMemoryStream out;
    out.WriteBuffer("saved bytes\0with a NUL", 22);
    out.SaveToFile(file.name);
    TMemoryStream in;
    in.WriteBuffer("previous", 8);
    in.LoadFromFile(file.name);
    ASSERT_EQ(in.Size(), 22);
    EXPECT_EQ(in.Position(), 0);
    EXPECT_EQ(std::string(static_cast<const char*>(in.Memory()), 22),
              std::string("saved bytes\0with a NUL", 22));
}

TEST(MemoryStreamFiles, LoadingAMissingFileRaisesAndKeepsTheContent) {
    TempFile file;
    TMemoryStream stream;
    stream.WriteBuffer("kept", 4);
    EXPECT_THROW(stream.LoadFromFile(file.name), EFOpenError);
    EXPECT_EQ(stream.Size(), 4);
}
