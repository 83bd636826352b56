// Song file dialogs and the transfer of songs between files and the host's buffer.
#include "engine/state.h"
#include "hostfiles/hostfiles.h"
#include "platform/emul/control.h"
#include "tests/support/drive_sandbox.h"
#include "tests/support/engine_reset.h"
#include "tests/support/scripted_dialog.h"
#include "tests/support/temp_dir.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Windows(const std::string& host) {
  return emul::ToWindowsPath(host);
}

std::string Contents(const std::string& host) {
  std::ifstream in(host, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A record whose every byte is known, so that a test can see which fields changed.
SongFileRecord Record(const std::string& path, int32_t askUser, const std::string& directory = "") {
  SongFileRecord record;
  std::memset(&record, 0x5A, sizeof record);
  std::snprintf(record.Path, sizeof record.Path, "%s", path.c_str());
  std::snprintf(record.Directory, sizeof record.Directory, "%s", directory.c_str());
  record.Size = 12345;
  record.AskUser = askUser;
  record.Exists = 7;
  return record;
}

class SongFiles : public ::testing::Test {
protected:
  void SetUp() override {
    ResetEngineState();
    EngineWindow = reinterpret_cast<HWND>(0x1230);
    Instance = reinterpret_cast<HINSTANCE>(0x4560);
    std::memset(buffer, '#', sizeof buffer);
    PassPointer(buffer);
  }
  void TearDown() override {
    EXPECT_EQ(emul::LiveFileHandles(), 0u);
    ResetEngineState();
  }

  DriveSandbox sandbox;
  TempDir dir;
  char buffer[64];
};

TEST_F(SongFiles, OpenAndSaveDialogsAreFilledInAsTheEngineAlwaysDid) {
  std::string song = dir.write("song.ZAN", "abc");
  ScriptedDialog dialog;
  dialog.choose(Windows(song)).choose(Windows(song));
  SongFileRecord record = Record("C:\\old\\previous.ZAN", 1, Windows(dir.path()));
  ASSERT_EQ(GetSongFileName(&record), 1);
  ASSERT_EQ(GetSaveSongFileName(&record), 1);
  ASSERT_EQ(dialog.shown().size(), 2u);

  for (const auto& shown : dialog.shown()) {
    const OPENFILENAMEA& d = shown.dialog;
    bool save = shown.request.kind == emul::FileDialogKind::Save;
    EXPECT_EQ(d.lStructSize, 76u);
    EXPECT_EQ(d.hwndOwner, EngineWindow);
    EXPECT_EQ(d.hInstance, Instance);
    EXPECT_EQ(std::memcmp(d.lpstrFilter, "Zandoria Files\0*.ZAN\0", 22), 0);
    EXPECT_EQ(d.lpstrCustomFilter, nullptr);
    EXPECT_EQ(d.nMaxCustFilter, 0u);
    EXPECT_EQ(d.nFilterIndex, 1u);
    EXPECT_EQ(d.nMaxFile, 256u);
    EXPECT_EQ(d.lpstrFileTitle, nullptr);
    EXPECT_EQ(d.nMaxFileTitle, 0u);
    EXPECT_STREQ(d.lpstrTitle, save ? "Save File" : "Open File");
    EXPECT_EQ(d.Flags, save ? DWORD(OFN_EXPLORER | OFN_HIDEREADONLY)
                            : DWORD(OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                                    OFN_HIDEREADONLY));
    EXPECT_EQ(d.nFileOffset, 0);
    EXPECT_EQ(d.nFileExtension, 0);
    EXPECT_STREQ(d.lpstrDefExt, "ZAN");
    EXPECT_EQ(d.lCustData, 0);
    EXPECT_EQ(d.lpfnHook, nullptr);
    EXPECT_EQ(d.lpTemplateName, nullptr);
  }
  EXPECT_EQ(dialog.shown()[0].request.filters.size(), 1u);
  EXPECT_EQ(dialog.shown()[0].request.fileName, "");
  EXPECT_EQ(dialog.shown()[0].request.initialDirectory, Windows(dir.path()));
  // The save dialog starts from the record as the open dialog left it.
  EXPECT_EQ(dialog.shown()[1].request.fileName, Windows(song));
  EXPECT_EQ(dialog.shown()[1].request.initialDirectory, Windows(dir.path()));
}

TEST_F(SongFiles, ChosenNameSetsPathDirectoryAndSize) {
  std::string song = dir.write("song.ZAN", "0123456789");
  ScriptedDialog dialog;
  dialog.choose(Windows(song));
  SongFileRecord record = Record("", 1);
  SongFileRecord before = record;
  ASSERT_EQ(GetSongFileName(&record), 1);
  EXPECT_STREQ(record.Path, Windows(song).c_str());
  EXPECT_STREQ(record.Directory, Windows(dir.path()).c_str());
  EXPECT_EQ(record.Size, 10u);
  EXPECT_EQ(record.Reserved, before.Reserved);
  EXPECT_EQ(record.Exists, before.Exists);
}

TEST_F(SongFiles, CancellingEitherDialogLeavesTheRecordAsItWas) {
  for (bool save : {false, true}) {
    ScriptedDialog dialog;
    dialog.cancel();
    SongFileRecord record = Record("C:\\songs\\a.ZAN", 1, "C:\\songs");
    SongFileRecord before = record;
    EXPECT_EQ(save ? GetSaveSongFileName(&record) : GetSongFileName(&record), 0);
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
  }
}

TEST_F(SongFiles, AnotherExtensionShowsTheOpenDialogAgainWithAnEmptyName) {
  std::string text = dir.write("notes.txt", "x");
  std::string song = dir.write("song.ZAN", "xyz");
  ScriptedDialog dialog;
  dialog.choose(Windows(text)).choose(Windows(song));
  SongFileRecord record = Record("C:\\before.ZAN", 1);
  ASSERT_EQ(GetSongFileName(&record), 1);
  ASSERT_EQ(dialog.shown().size(), 2u);
  EXPECT_EQ(dialog.shown()[1].request.fileName, "");
  EXPECT_EQ(dialog.shown()[1].dialog.Flags & OFN_EXTENSIONDIFFERENT, 0u);
  EXPECT_STREQ(record.Path, Windows(song).c_str());
  EXPECT_EQ(record.Size, 3u);
}

TEST_F(SongFiles, AnotherExtensionShowsTheSaveDialogAgainFromThePreviousPath) {
  ScriptedDialog dialog;
  dialog.choose(Windows(dir.file("typed.txt"))).choose(Windows(dir.file("new.ZAN")));
  SongFileRecord record = Record(Windows(dir.file("previous.ZAN")), 1);
  ASSERT_EQ(GetSaveSongFileName(&record), 1);
  ASSERT_EQ(dialog.shown().size(), 2u);
  EXPECT_EQ(dialog.shown()[1].request.fileName, Windows(dir.file("previous.ZAN")));
  EXPECT_STREQ(record.Path, Windows(dir.file("new.ZAN")).c_str());
  EXPECT_EQ(record.Exists, 0);
}

TEST_F(SongFiles, NameInADriveRootGivesTheDriveAloneAsDirectory) {
  ASSERT_TRUE(emul::MapDrive('C', dir.path().string()));
  dir.write("root.ZAN", "r");
  ScriptedDialog dialog;
  dialog.choose("C:\\root.ZAN");
  SongFileRecord record = Record("", 1);
  ASSERT_EQ(GetSaveSongFileName(&record), 1);
  EXPECT_STREQ(record.Path, "C:\\root.ZAN");
  EXPECT_STREQ(record.Directory, "C:");
  EXPECT_EQ(record.Exists, 1);
}

TEST_F(SongFiles, WithoutAskingThePathIsUsedAndOnlyTheReportedFieldChanges) {
  ScriptedDialog dialog; // must not be shown
  SongFileRecord missing = Record(Windows(dir.file("missing.ZAN")), 0);
  SongFileRecord before = missing;
  EXPECT_EQ(GetSongFileName(&missing), 0);
  EXPECT_EQ(std::memcmp(&missing, &before, sizeof missing), 0);
  EXPECT_EQ(GetSaveSongFileName(&missing), 1);
  EXPECT_EQ(missing.Exists, 0);

  SongFileRecord present = Record(dir.write("here.ZAN", "12345"), 0);
  SongFileRecord expected = present;
  expected.Size = 5;
  EXPECT_EQ(GetSongFileName(&present), 1);
  EXPECT_EQ(std::memcmp(&present, &expected, sizeof present), 0);
  expected.Exists = 1;
  EXPECT_EQ(GetSaveSongFileName(&present), 1);
  EXPECT_EQ(std::memcmp(&present, &expected, sizeof present), 0);
  EXPECT_TRUE(dialog.shown().empty());
}

TEST_F(SongFiles, AFileOpenElsewhereCannotBeOpenedByAnyOfThem) {
  std::string song = dir.write("busy.ZAN", "original");
  HANDLE elsewhere = CreateFileA(song.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(elsewhere, INVALID_HANDLE_VALUE);
  SongFileRecord record = Record(song, 0);
  record.Size = 3;
  EXPECT_EQ(GetSongFileName(&record), 0);
  EXPECT_EQ(record.Size, 3u);
  EXPECT_EQ(ReadFileContents(&record), 0);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(GetSaveSongFileName(&record), 1);
  EXPECT_EQ(record.Exists, 0);
  EXPECT_EQ(WriteFileContents(&record), 0);
  EXPECT_EQ(emul::LiveFileHandles(), 1u);
  CloseHandle(elsewhere);
  EXPECT_EQ(Contents(song), "original");
}

TEST_F(SongFiles, WritingReplacesTheWholeFile) {
  std::string song = dir.write("song.ZAN", std::string(50, 'o'));
  SongFileRecord record = Record(song, 0);
  std::memcpy(buffer, "new", 3);
  record.Size = 3;
  ASSERT_EQ(WriteFileContents(&record), 1);
  EXPECT_EQ(Contents(song), "new");
  record.Size = 0;
  ASSERT_EQ(WriteFileContents(&record), 1);
  EXPECT_EQ(Contents(song), "");
  EXPECT_EQ(access(song.c_str(), F_OK), 0);
}

TEST_F(SongFiles, ReadingCopiesTheFileAndAnEmptyFileLeavesTheBuffer) {
  SongFileRecord record = Record(dir.write("song.ZAN", "payload"), 0);
  ASSERT_EQ(ReadFileContents(&record), 1);
  EXPECT_EQ(std::string(buffer, 8), "payload#");

  std::memset(buffer, '#', sizeof buffer);
  SongFileRecord empty = Record(dir.write("empty.ZAN", ""), 0);
  EXPECT_EQ(ReadFileContents(&empty), 1);
  EXPECT_EQ(std::string(buffer, 4), "####");

  // A bare path serves as well as a record.
  std::string bare = dir.write("bare.ZAN", "xy");
  EXPECT_EQ(ReadFileContents(reinterpret_cast<SongFileRecord*>(bare.data())), 1);
  EXPECT_EQ(std::string(buffer, 3), "xy#");
  EXPECT_EQ(ReadFileContents(reinterpret_cast<SongFileRecord*>(dir.file("none.ZAN").data())), 0);
}

TEST_F(SongFiles, ReadingNeverExceedsTheSizeTheHostWasTold) {
  std::string song = dir.write("grow.ZAN", "1234");
  SongFileRecord record = Record(song, 0);
  ASSERT_EQ(GetSongFileName(&record), 1);
  ASSERT_EQ(record.Size, 4u);
  dir.write("grow.ZAN", std::string(40, 'g')); // grew behind the host's back
  EXPECT_EQ(ReadFileContents(&record), 0);
  EXPECT_EQ(buffer[0], '#');

  // Once the host writes a larger song from its buffer, the buffer is known to hold it.
  record.Size = 40;
  std::memset(buffer, 'w', 40);
  ASSERT_EQ(WriteFileContents(&record), 1);
  EXPECT_EQ(ReadFileContents(&record), 1);
}

TEST_F(SongFiles, SizedReadReportsAFileThatDoesNotFit) {
  SongFileRecord record = Record(dir.write("song.ZAN", "0123456789"), 0);
  EXPECT_EQ(ReadFileContentsEx(&record, 9), -1);
  EXPECT_EQ(record.Size, 10u);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(ReadFileContentsEx(&record, 10), 1);
  EXPECT_EQ(std::string(buffer, 11), "0123456789#");
  SongFileRecord missing = Record(dir.file("missing.ZAN"), 0);
  EXPECT_EQ(ReadFileContentsEx(&missing, 64), 0);
  PassPointer(nullptr);
  EXPECT_EQ(ReadFileContentsEx(&record, 64), -1);
}

TEST_F(SongFiles, WithoutASongBufferNothingIsReadAndNoFileIsEmptied) {
  PassPointer(nullptr);
  std::string song = dir.write("song.ZAN", "keep me");
  SongFileRecord record = Record(song, 0);
  record.Size = 7;
  EXPECT_EQ(ReadFileContents(&record), 0);
  EXPECT_EQ(WriteFileContents(&record), 0);
  EXPECT_EQ(Contents(song), "keep me");
}

TEST_F(SongFiles, AFailedWriteIsReported) {
  if (access("/dev/full", W_OK) != 0)
    GTEST_SKIP() << "no /dev/full here";
  SongFileRecord record = Record("/dev/full", 0);
  record.Size = 16;
  EXPECT_EQ(WriteFileContents(&record), 0);
}

TEST_F(SongFiles, AFileOfFourGibibytesOrMoreIsNoSong) {
  std::string huge = dir.file("huge.ZAN");
  ASSERT_EQ(truncate(dir.write("huge.ZAN", "").c_str(), (off_t(1) << 32) + 5), 0);
  SongFileRecord record = Record(huge, 0);
  EXPECT_EQ(GetSongFileName(&record), 0);
  EXPECT_EQ(record.Size, 12345u);
  EXPECT_EQ(ReadFileContents(&record), 0);
  EXPECT_EQ(ReadFileContentsEx(&record, 64), -1);
  EXPECT_EQ(record.Size, 0xFFFFFFFFu);
}

TEST_F(SongFiles, UnterminatedFieldsAreNeverReadPastTheirEnd) {
  SongFileRecord record;
  std::memset(&record, 'a', sizeof record);
  record.AskUser = 0;
  EXPECT_EQ(GetSongFileName(&record), 0);
  EXPECT_EQ(ReadFileContents(&record), 0);
  EXPECT_EQ(GetSaveSongFileName(&record), 1);
  EXPECT_EQ(record.Exists, 0);

  ScriptedDialog dialog;
  record.AskUser = 1;
  EXPECT_EQ(GetSaveSongFileName(&record), 0);
  ASSERT_EQ(dialog.shown().size(), 1u);
  EXPECT_EQ(dialog.shown()[0].request.fileName, std::string(255, 'a'));
  EXPECT_EQ(dialog.shown()[0].request.initialDirectory, std::string(279, 'a'));
}

} // namespace
