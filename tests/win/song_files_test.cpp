// Song files on the real file system, without dialogs (AskUser 0): the transfer
// between a file and the host's song buffer, sizes and existence, and files that
// another handle holds without sharing.
#include "support/engine_test.h"

#include <cstring>

class SongFiles : public EngineTest {
protected:
  void SetUp() override {
    ZA32_REQUIRE_EXPORTS("PassPointer", "ReadFileContents", "WriteFileContents", "GetSongFileName",
                         "GetSaveSongFileName");
    EngineTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    song.assign(8192, 0);
    ASSERT_EQ(Za32().PassPointer(song.data()), 1);
  }

  SongFileRecord Record(const std::string& path, uint32_t size = 0) const {
    SongFileRecord record{};
    lstrcpynA(record.Path, path.c_str(), sizeof record.Path);
    lstrcpynA(record.Directory, files.path().c_str(), sizeof record.Directory);
    record.Size = size;
    record.AskUser = 0;
    record.Exists = 7;
    return record;
  }

  std::vector<uint8_t> song;
};

TEST_F(SongFiles, ASongWrittenFromTheBufferIsReadBackWhole) {
  for (size_t i = 0; i < 5000; ++i)
    song[i] = static_cast<uint8_t>(i * 7 + 3);
  std::string path = files / "first.zan";
  SongFileRecord record = Record(path, 5000);
  EXPECT_EQ(Za32().WriteFileContents(&record), 1);
  std::vector<uint8_t> written = ReadBytes(path);
  EXPECT_EQ(written, std::vector<uint8_t>(song.begin(), song.begin() + 5000));

  SongFileRecord save = Record(path);
  EXPECT_EQ(Za32().GetSaveSongFileName(&save), 1);
  EXPECT_EQ(save.Exists, 1);
  SongFileRecord open = Record(path, 1);
  EXPECT_EQ(Za32().GetSongFileName(&open), 1);
  EXPECT_EQ(open.Size, 5000u);
  EXPECT_STREQ(open.Path, path.c_str());
  EXPECT_STREQ(open.Directory, files.path().c_str());
  EXPECT_EQ(open.Exists, 7);

  std::vector<uint8_t> expected(song.begin(), song.begin() + 5000);
  std::fill(song.begin(), song.end(), 0xEE);
  EXPECT_EQ(Za32().ReadFileContents(&open), 1);
  EXPECT_EQ(std::vector<uint8_t>(song.begin(), song.begin() + 5000), expected);
  EXPECT_EQ(song[5000], 0xEE);
}

TEST_F(SongFiles, AShorterSongReplacesTheWholeFile) {
  std::string path = files / "song.zan";
  WriteBytes(path, std::vector<uint8_t>(3000, 0x55));
  std::memcpy(song.data(), "short", 5);
  SongFileRecord record = Record(path, 5);
  EXPECT_EQ(Za32().WriteFileContents(&record), 1);
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'s', 'h', 'o', 'r', 't'}));
  record.Size = 0;
  EXPECT_EQ(Za32().WriteFileContents(&record), 1);
  EXPECT_TRUE(ReadBytes(path).empty());
}

TEST_F(SongFiles, AMissingFileIsReportedWithoutTouchingTheRecordOrBuffer) {
  std::string path = files / "absent.zan";
  SongFileRecord open = Record(path, 1234);
  EXPECT_EQ(Za32().GetSongFileName(&open), 0);
  EXPECT_EQ(open.Size, 1234u);
  SongFileRecord save = Record(path);
  EXPECT_EQ(Za32().GetSaveSongFileName(&save), 1);
  EXPECT_EQ(save.Exists, 0);
  std::fill(song.begin(), song.end(), 0xEE);
  EXPECT_EQ(Za32().ReadFileContents(&open), 0);
  EXPECT_EQ(song[0], 0xEE);
}

// Every open asks for no sharing, so a file that another handle holds cannot be used.
TEST_F(SongFiles, AFileHeldWithoutSharingCannotBeUsed) {
  std::string path = files / "held.zan";
  WriteBytes(path, std::vector<uint8_t>(100, 1));
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  SongFileRecord record = Record(path, 100);
  EXPECT_EQ(Za32().GetSongFileName(&record), 0);
  EXPECT_EQ(Za32().ReadFileContents(&record), 0);
  EXPECT_EQ(Za32().WriteFileContents(&record), 0);
  EXPECT_EQ(Za32().GetSaveSongFileName(&record), 1);
  EXPECT_EQ(record.Exists, 0);
  CloseHandle(held);
  EXPECT_EQ(Za32().GetSongFileName(&record), 1);
  EXPECT_EQ(record.Size, 100u);
}

// The sized read: a file larger than the host's buffer is not read, and its size is
// reported instead.
TEST_F(SongFiles, TheSizedReadRefusesASongLargerThanTheBuffer) {
  ZA32_REQUIRE_EXPORTS("ReadFileContentsEx");
  auto readSized = reinterpret_cast<LONG(WINAPI*)(SongFileRecord*, DWORD)>(
      reinterpret_cast<void (*)()>(Za32Module::Get().ByName("ReadFileContentsEx")));
  std::string path = files / "big.zan";
  WriteBytes(path, std::vector<uint8_t>(6000, 0x42));
  std::fill(song.begin(), song.end(), 0);
  SongFileRecord record = Record(path);
  EXPECT_EQ(readSized(&record, 5999), -1);
  EXPECT_EQ(record.Size, 6000u);
  EXPECT_EQ(song[0], 0);
  EXPECT_EQ(readSized(&record, static_cast<DWORD>(song.size())), 1);
  EXPECT_EQ(song[5999], 0x42);
  EXPECT_EQ(song[6000], 0);
}
