// Directory, WAV file and drive listings for the sample browser, and the CD-ROM shortcut.
#include "engine/state.h"
#include "hostfiles/hostfiles.h"
#include "platform/emul/control.h"
#include "tests/support/drive_sandbox.h"
#include "tests/support/temp_dir.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string Windows(const fs::path& host) {
  return emul::ToWindowsPath(host.string());
}

// The strings of a packed list up to its empty string, and the bytes it took.
std::vector<std::string> Entries(const char* list, size_t* bytes = nullptr) {
  std::vector<std::string> entries;
  const char* at = list;
  for (; *at; at += std::strlen(at) + 1)
    entries.emplace_back(at);
  if (bytes)
    *bytes = static_cast<size_t>(at - list) + 1;
  return entries;
}

class Browsing : public ::testing::Test {
protected:
  void SetUp() override {
    std::memset(buffer, 0xAA, sizeof buffer);
    ASSERT_TRUE(emul::MapDrive('D', empty.path().string()));
  }
  void TearDown() override {
    EXPECT_EQ(emul::LiveFindHandles(), 0u);
    EXPECT_EQ(emul::LiveFileHandles(), 0u);
  }

  DriveSandbox sandbox;
  TempDir dir;
  TempDir empty;
  char buffer[8192];
};

TEST_F(Browsing, ListsFoldersAndWavFilesSortedThenDrivesThenTheEmptyString) {
  for (const char* name : {"Kick.Wav", "snare.wAV", "hat.WAV", "notes.txt", "two.dots.wav",
                           "loop.wav.bak", "noext", ".wav"})
    dir.write(name, "x");
  fs::create_directory(dir.path() / "Sub");
  fs::create_directory(dir.path() / "folder.wav");
  ASSERT_NE(SetDirectory(Windows(dir.path()).c_str()), 0);

  ASSERT_EQ(GetFileList(buffer), 1);
  size_t bytes = 0;
  // lstrcmpA order: punctuation before letters, "." before "]", letters without case first.
  std::vector<std::string> expected = {"[..]", "[.]",   "[folder.wav]", "[Sub]", "hat",
                                       "Kick", "snare", "[C:]",         "[D:]"};
  EXPECT_EQ(Entries(buffer, &bytes), expected);
  EXPECT_EQ(static_cast<unsigned char>(buffer[bytes]), 0xAA); // nothing after the end
}

TEST_F(Browsing, AnEmptySubdirectoryListsItsDotEntriesThenTheDrives) {
  fs::create_directory(dir.path() / "leaf");
  ASSERT_NE(SetDirectory(Windows(dir.path() / "leaf").c_str()), 0);
  ASSERT_EQ(GetFileList(buffer), 1);
  EXPECT_EQ(Entries(buffer), (std::vector<std::string>{"[..]", "[.]", "[C:]", "[D:]"}));
}

TEST_F(Browsing, ADriveRootHasNoDotEntriesAndAnEmptyOneWritesNothing) {
  ASSERT_NE(SetDirectory("D:\\"), 0);
  EXPECT_EQ(GetFileList(buffer), 0);
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xAA);
  EXPECT_EQ(GetFileListEx(buffer, sizeof buffer), 0);
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xAA);

  std::ofstream(empty.file("one.wav")) << "x";
  ASSERT_EQ(GetFileList(buffer), 1);
  EXPECT_EQ(Entries(buffer), (std::vector<std::string>{"one", "[C:]", "[D:]"}));
}

TEST_F(Browsing, SizedListingNeverWritesPastItsCapacity) {
  for (const char* name : {"a.wav", "bb.wav", "ccc.wav"})
    dir.write(name, "x");
  ASSERT_NE(SetDirectory(Windows(dir.path()).c_str()), 0);
  char whole[256];
  ASSERT_EQ(GetFileList(whole), 1);
  size_t bytes = 0;
  auto entries = Entries(whole, &bytes);

  EXPECT_EQ(GetFileListEx(nullptr, 0), -static_cast<LONG>(bytes));
  EXPECT_EQ(GetFileListEx(buffer, static_cast<DWORD>(bytes)), 1);
  EXPECT_EQ(std::memcmp(buffer, whole, bytes), 0);
  for (size_t capacity = 0; capacity < bytes; ++capacity) {
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(GetFileListEx(buffer, static_cast<DWORD>(capacity)), -static_cast<LONG>(bytes));
    EXPECT_EQ(static_cast<unsigned char>(buffer[capacity]), 0xAA) << capacity;
    if (capacity == 0)
      continue;
    // What was written is a list of whole entries, a prefix of the full one.
    auto part = Entries(buffer);
    ASSERT_LE(part.size(), entries.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), entries.begin())) << capacity;
  }
}

TEST_F(Browsing, FindCdReportsTheFirstCdRomDriveOrNone) {
  EXPECT_EQ(FindCD(buffer), 0);
  EXPECT_EQ(buffer[0], 0);

  ASSERT_TRUE(emul::MapDrive('G', dir.path().string(), DRIVE_CDROM));
  ASSERT_TRUE(emul::MapDrive('F', empty.path().string(), DRIVE_CDROM));
  EXPECT_EQ(FindCD(buffer), 1);
  EXPECT_STREQ(buffer, "F:\\");
}

TEST_F(Browsing, MountedDiscsAreCdRomDrives) {
  TempDir disc;
  std::string mounts = dir.write("mounts", "sysfs /sys sysfs rw 0 0\n"
                                           "/dev/sr0 " +
                                               disc.path().string() + " iso9660 ro 0 0\n");
  emul::SetMountTable(mounts);
  EXPECT_EQ(FindCD(buffer), 1);
  EXPECT_STREQ(buffer, "E:\\"); // D: is taken
}

TEST_F(Browsing, TheMarkerEntersTheCdSampleDirectory) {
  TempDir disc;
  fs::create_directories(disc.path() / "samples" / "140bpm" / "drum");
  ASSERT_TRUE(emul::MapDrive('E', disc.path().string(), DRIVE_CDROM));
  buffer[0] = static_cast<char>(0xFF);
  EXPECT_NE(GetDirectory(buffer), 0);
  EXPECT_STREQ(buffer, "E:\\samples\\140bpm\\drum");
  EXPECT_EQ(CurrentDirectory(), "E:\\samples\\140bpm\\drum");
  EXPECT_EQ(fs::current_path(), fs::canonical(disc.path() / "samples" / "140bpm" / "drum"));
}

TEST_F(Browsing, ACdWithoutTheSampleDirectoryLeavesTheCurrentDirectory) {
  ASSERT_TRUE(emul::MapDrive('E', empty.path().string(), DRIVE_CDROM));
  ASSERT_TRUE(emul::MapDrive('F', (empty.path() / "no-disc").string(), DRIVE_CDROM));
  ASSERT_NE(SetDirectory(Windows(dir.path()).c_str()), 0);
  buffer[0] = static_cast<char>(0xFF);
  EXPECT_EQ(GetDirectory(buffer), 0);
  EXPECT_STREQ(buffer, "E:\\samples\\140bpm\\drum");
  EXPECT_EQ(CurrentDirectory(), Windows(dir.path()));

  ASSERT_TRUE(emul::UnmapDrive('E'));
  buffer[0] = static_cast<char>(0xFF);
  EXPECT_EQ(GetDirectory(buffer), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_READY));
  EXPECT_STREQ(buffer, "F:\\samples\\140bpm\\drum");
}

TEST_F(Browsing, WithoutMarkerOrCdTheCurrentDirectoryIsReportedAndKept) {
  ASSERT_NE(SetDirectory(Windows(dir.path()).c_str()), 0);
  std::string current = Windows(dir.path());
  for (unsigned char first : {0xFF, 0xFE, 0x00}) {
    buffer[0] = static_cast<char>(first);
    EXPECT_EQ(GetDirectory(buffer), static_cast<LONG>(current.size()));
    EXPECT_EQ(buffer, current);
  }
  ASSERT_TRUE(emul::MapDrive('E', empty.path().string(), DRIVE_CDROM));
  buffer[0] = 'x';
  EXPECT_EQ(GetDirectory(buffer), static_cast<LONG>(current.size()));
  EXPECT_EQ(CurrentDirectory(), current);
  EXPECT_EQ(SetDirectory(Windows(dir.path() / "missing").c_str()), 0);
  EXPECT_EQ(CurrentDirectory(), current);
  ASSERT_NE(SetDirectory("D:\\"), 0);
  EXPECT_EQ(GetDirectory(buffer), 3);
  EXPECT_STREQ(buffer, "D:\\");
}

TEST_F(Browsing, ADirectoryTooLongForTheBufferIsAFailureNotAStaleString) {
  fs::path deep = dir.path();
  while (deep.string().size() < 300)
    deep /= std::string(40, 'd');
  fs::create_directories(deep);
  fs::current_path(deep);
  buffer[0] = 'x';
  EXPECT_EQ(GetDirectory(buffer), 0);
  EXPECT_EQ(buffer[0], 0);
}

// The exchange sort the listing is defined by, over a packed run.
void ExchangeSort(char* begin, char* end) {
  for (bool swapped = true; swapped;) {
    swapped = false;
    char* first = begin;
    for (char* second = first + std::strlen(first) + 1; second < end;) {
      std::string a = first, b = second;
      if (lstrcmpA(a.c_str(), b.c_str()) > 0) {
        std::memcpy(first, (b + '\0' + a).c_str(), a.size() + b.size() + 2);
        swapped = true;
        second = first + b.size() + 1;
      }
      first = second;
      second = first + std::strlen(first) + 1;
    }
  }
}

TEST(PackedStrings, SortGivesTheExchangeSortsBytes) {
  std::mt19937 random(20240607);
  // Names that compare equal but differ ("ss", "s\xads", "\xdf") keep their order.
  const std::string alphabet = "aAbB0_.-[] ~zs\xdf\xad";
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> names;
    int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      if (!names.empty() && random() % 4 == 0) {
        names.push_back(names[random() % names.size()]); // equal names
        continue;
      }
      std::string name;
      for (int length = 1 + static_cast<int>(random() % 5); length > 0; --length)
        name += alphabet[random() % alphabet.size()];
      names.push_back(name);
    }
    std::string packed;
    for (const auto& name : names)
      packed += name + '\0';
    std::string expected = packed, actual = packed;
    ExchangeSort(expected.data(), expected.data() + expected.size());
    SortPackedStrings(actual.data(), actual.data() + actual.size());
    ASSERT_EQ(actual, expected) << "round " << round;
  }
}

} // namespace
