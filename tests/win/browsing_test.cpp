// The sample browser's services on the real file system: the current directory, the
// packed file list with its sorted folder run and its drive run, and the CD-ROM drive.
#include "support/engine_test.h"

#include <algorithm>

namespace {
std::vector<std::string> Unpack(const char* list, size_t size) {
  std::vector<std::string> entries;
  size_t at = 0;
  while (at < size && list[at]) {
    entries.emplace_back(list + at);
    at += entries.back().size() + 1;
  }
  return entries;
}

// "[C:]" for every drive the system lists, in its order.
std::vector<std::string> DriveEntries() {
  char roots[1024] = "";
  GetLogicalDriveStringsA(sizeof roots, roots);
  std::vector<std::string> drives;
  for (const char* root = roots; *root; root += lstrlenA(root) + 1) {
    std::string entry = root;
    for (char& c : entry)
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    if (!entry.empty() && entry.back() == '\\')
      entry.pop_back();
    drives.push_back("[" + entry + "]");
  }
  return drives;
}

std::string FirstCdRoot() {
  char roots[1024] = "";
  GetLogicalDriveStringsA(sizeof roots, roots);
  for (const char* root = roots; *root; root += lstrlenA(root) + 1)
    if (GetDriveTypeA(root) == DRIVE_CDROM) {
      std::string found = root;
      for (char& c : found)
        if (c >= 'a' && c <= 'z')
          c = static_cast<char>(c - 'a' + 'A');
      return found;
    }
  return "";
}

// The order of the system's own comparison, which the folder run is sorted by.
std::vector<std::string> SortedBySystem(std::vector<std::string> names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return lstrcmpA(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

std::string CurrentDirectory() {
  char path[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof path, path);
  return path;
}
} // namespace

class Browsing : public EngineTest {
protected:
  void SetUp() override {
    ZA32_REQUIRE_EXPORTS("FindCD", "GetDirectory", "SetDirectory", "GetFileList");
    EngineTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    char path[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof path, path);
    previous = path;
  }
  void TearDown() override {
    if (!previous.empty())
      SetCurrentDirectoryA(previous.c_str());
    EngineTest::TearDown();
  }

  std::vector<std::string> List() {
    std::vector<char> buffer(65536, '\x7f');
    LONG result = Za32().GetFileList(buffer.data());
    EXPECT_EQ(result, 1);
    return Unpack(buffer.data(), buffer.size());
  }

  std::string previous;
};

TEST_F(Browsing, TheFileListHoldsSortedFoldersAndWavFilesThenTheDrives) {
  for (const char* name :
       {"kick.wav", "Snare.WAV", "hat.Wav", "notes.txt", "take.2.wav", "noext", "clap.wav.bak"})
    WriteBytes(files / name, {0});
  MakeDirectory(files / "loops");
  MakeDirectory(files / "Bass");

  ASSERT_NE(Za32().SetDirectory(files.path().c_str()), 0);
  char directory[280] = "";
  EXPECT_EQ(Za32().GetDirectory(directory), lstrlenA(files.path().c_str()));
  EXPECT_STREQ(directory, files.path().c_str());

  std::vector<std::string> expected =
      SortedBySystem({"[.]", "[..]", "[loops]", "[Bass]", "kick", "Snare", "hat"});
  for (const auto& drive : DriveEntries())
    expected.push_back(drive);
  EXPECT_EQ(List(), expected);
}

TEST_F(Browsing, AnEmptySubdirectoryListsItsDotsAndTheDrives) {
  MakeDirectory(files / "empty");
  ASSERT_NE(Za32().SetDirectory((files / "empty").c_str()), 0);
  // The system's comparison puts "[..]" before "[.]".
  std::vector<std::string> expected = SortedBySystem({"[.]", "[..]"});
  EXPECT_EQ(expected[0], "[..]");
  for (const auto& drive : DriveEntries())
    expected.push_back(drive);
  EXPECT_EQ(List(), expected);
}

TEST_F(Browsing, TheCdromDriveIsTheFirstTheSystemLists) {
  std::string cd = FirstCdRoot();
  char root[8] = "junk";
  EXPECT_EQ(Za32().FindCD(root), cd.empty() ? 0 : 1);
  EXPECT_EQ(std::string(root), cd);

  // With the CD marker but no CD-ROM drive, the current directory is reported and
  // stays; with a drive, the engine tries its sample directory.
  ASSERT_NE(Za32().SetDirectory(files.path().c_str()), 0);
  char directory[280] = "";
  directory[0] = static_cast<char>(0xFF);
  LONG result = Za32().GetDirectory(directory);
  if (cd.empty()) {
    EXPECT_EQ(result, lstrlenA(files.path().c_str()));
    EXPECT_STREQ(directory, files.path().c_str());
  } else {
    EXPECT_EQ(std::string(directory), cd + "samples\\140bpm\\drum");
  }
  if (result == 0 || cd.empty()) {
    EXPECT_EQ(CurrentDirectory(), files.path());
  }
}

TEST_F(Browsing, SetDirectoryToAMissingPathFailsAndChangesNothing) {
  ASSERT_NE(Za32().SetDirectory(files.path().c_str()), 0);
  EXPECT_EQ(Za32().SetDirectory((files / "no such folder").c_str()), 0);
  EXPECT_EQ(CurrentDirectory(), files.path());
}

// The sized list: a host may ask for the size first, and a list that does not fit
// keeps the entries that fit whole.
TEST_F(Browsing, TheSizedListTellsTheSizeItNeeds) {
  ZA32_REQUIRE_EXPORTS("GetFileListEx");
  auto listSized = reinterpret_cast<LONG(WINAPI*)(LPSTR, DWORD)>(
      reinterpret_cast<void (*)()>(Za32Module::Get().ByName("GetFileListEx")));
  WriteBytes(files / "kick.wav", {0});
  ASSERT_NE(Za32().SetDirectory(files.path().c_str()), 0);
  std::vector<std::string> whole = List();

  LONG needed = listSized(nullptr, 0);
  ASSERT_LT(needed, 0);
  size_t size = 1;
  for (const auto& entry : whole)
    size += entry.size() + 1;
  EXPECT_EQ(static_cast<size_t>(-needed), size);

  std::vector<char> exact(size, '\x7f');
  EXPECT_EQ(listSized(exact.data(), static_cast<DWORD>(size)), 1);
  EXPECT_EQ(Unpack(exact.data(), exact.size()), whole);

  std::vector<char> small(8, '\x7f');
  EXPECT_EQ(listSized(small.data(), static_cast<DWORD>(small.size())), needed);
  std::vector<std::string> fitted = Unpack(small.data(), small.size());
  ASSERT_LE(fitted.size(), whole.size());
  EXPECT_TRUE(std::equal(fitted.begin(), fitted.end(), whole.begin()));
}
