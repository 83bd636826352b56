// Files, directory searches and the file dialogs of the emulated platform.
#include "platform/emul/control.h"
#include "platform/win32.h"
#include "tests/support/drive_sandbox.h"
#include "tests/support/scripted_dialog.h"
#include "tests/support/temp_dir.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace {

namespace fs = std::filesystem;

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

std::string Contents(const std::string& host) {
  std::ifstream in(host, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class EmulatedFiles : public ::testing::Test {
protected:
  void TearDown() override {
    EXPECT_EQ(emul::LiveFileHandles(), 0u);
    EXPECT_EQ(emul::LiveFindHandles(), 0u);
  }
  DriveSandbox sandbox;
  TempDir dir;
};

TEST_F(EmulatedFiles, NoSharingMakesASecondOpenFailWithoutEmptyingTheFile) {
  std::string path = dir.write("song.ZAN", "content");
  HANDLE first = Open(path, GENERIC_READ, 0, OPEN_EXISTING);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  for (DWORD disposition : {OPEN_EXISTING, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
    EXPECT_EQ(
        Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, disposition),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  }
  EXPECT_EQ(Contents(path), "content");
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_FALSE(CloseHandle(first));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  // Opens that share what the other does may stand together.
  HANDLE a = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  HANDLE b = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(a, INVALID_HANDLE_VALUE);
  EXPECT_NE(b, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  CloseHandle(a);
  CloseHandle(b);
}

TEST_F(EmulatedFiles, DispositionsAndTheirErrors) {
  std::string path = dir.write("a.bin", "12345");
  EXPECT_EQ(Open(dir.file("none"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(dir.file("no/none"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Open(dir.path().string(), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open(path, GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

  HANDLE file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(GetFileSize(file, nullptr), 0u);
  DWORD done = 0;
  char byte;
  EXPECT_FALSE(ReadFile(file, &byte, 1, &done, nullptr)); // not opened for reading
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  CloseHandle(file);
}

TEST_F(EmulatedFiles, ReadWriteAndPosition) {
  HANDLE file =
      Open(emul::ToWindowsPath(dir.file("f.bin")), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(file, "abcdef", 6, &done, nullptr));
  EXPECT_EQ(done, 6u);
  DWORD high = 9;
  EXPECT_EQ(GetFileSize(file, &high), 6u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(file, -2, nullptr, FILE_END), 4u);
  char got[8] = {};
  ASSERT_TRUE(ReadFile(file, got, 8, &done, nullptr));
  EXPECT_EQ(done, 2u);
  EXPECT_STREQ(got, "ef");
  ASSERT_TRUE(ReadFile(file, got, 8, &done, nullptr)); // at the end: success, nothing read
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  CloseHandle(file);
}

TEST_F(EmulatedFiles, SearchesReportDotsFirstExceptInADrivesRoot) {
  dir.write("One.WAV", "1234");
  dir.write("two.txt", "");
  fs::create_directory(dir.path() / "sub");
  fs::create_directory_symlink(dir.path() / "sub", dir.path() / "linked");
  WIN32_FIND_DATAA found;
  HANDLE search =
      FindFirstFileA((emul::ToWindowsPath(dir.path().string()) + "\\*").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::vector<std::string> names = {found.cFileName};
  std::set<std::string> directories;
  while (FindNextFileA(search, &found)) {
    names.push_back(found.cFileName);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      directories.insert(found.cFileName);
  }
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(search));
  ASSERT_EQ(names.size(), 6u);
  EXPECT_EQ(names[0], ".");
  EXPECT_EQ(names[1], "..");
  EXPECT_EQ(directories, (std::set<std::string>{"..", "linked", "sub"}));

  ASSERT_TRUE(emul::MapDrive('D', dir.path().string()));
  ASSERT_NE(search = FindFirstFileA("D:\\*.wav", &found), INVALID_HANDLE_VALUE);
  EXPECT_STREQ(found.cFileName, "One.WAV");
  EXPECT_FALSE(FindNextFileA(search, &found));
  FindClose(search);
  EXPECT_EQ(FindFirstFileA("D:\\*.mp3", &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA("D:\\missing\\*", &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

class EmulatedDialogs : public EmulatedFiles {
protected:
  BOOL Show(bool save, const char* initialDirectory, DWORD flags) {
    std::memset(&dialog, 0, sizeof dialog);
    name[0] = 0;
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.lpstrFile = name;
    dialog.nMaxFile = sizeof name;
    dialog.lpstrInitialDir = initialDirectory;
    dialog.lpstrDefExt = "ZAN";
    dialog.Flags = flags;
    return save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
  }
  OPENFILENAMEA dialog;
  char name[256];
  ScriptedDialog script;
};

TEST_F(EmulatedDialogs, ChosenNamesBecomeFullPathsWithTheDefaultExtension) {
  std::string directory = emul::ToWindowsPath(dir.path().string());
  script.choose("new").choose("other.txt").choose("SONG.zan");
  ASSERT_TRUE(Show(true, directory.c_str(), 0));
  EXPECT_EQ(std::string(name), directory + "\\new.ZAN");
  EXPECT_EQ(size_t(dialog.nFileOffset), directory.size() + 1);
  EXPECT_EQ(size_t(dialog.nFileExtension), directory.size() + 5);
  EXPECT_EQ(dialog.Flags & OFN_EXTENSIONDIFFERENT, 0u);
  // The save dialog moved the current directory to the file's, as Windows does.
  EXPECT_EQ(CurrentDirectory(), directory);

  ASSERT_TRUE(Show(true, directory.c_str(), 0));
  EXPECT_EQ(std::string(name), directory + "\\other.txt");
  EXPECT_NE(dialog.Flags & OFN_EXTENSIONDIFFERENT, 0u);
  ASSERT_TRUE(Show(true, directory.c_str(), 0));
  EXPECT_EQ(dialog.Flags & OFN_EXTENSIONDIFFERENT, 0u);
}

TEST_F(EmulatedDialogs, AFileThatMustExistIsAskedForAgain) {
  std::string song = dir.write("here.ZAN", "");
  script.choose(emul::ToWindowsPath(dir.file("gone.ZAN"))).choose(emul::ToWindowsPath(song));
  ASSERT_TRUE(Show(false, nullptr, OFN_FILEMUSTEXIST));
  ASSERT_EQ(script.shown().size(), 2u);
  EXPECT_EQ(script.shown()[0].request.problem, "");
  EXPECT_NE(script.shown()[1].request.problem.find("File not found."), std::string::npos);
  EXPECT_EQ(std::string(name), emul::ToWindowsPath(song));
}

TEST_F(EmulatedDialogs, CancelFailureAndBadStructuresAreTold) {
  script.cancel();
  EXPECT_FALSE(Show(false, nullptr, 0));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  dialog.lStructSize = 50;
  EXPECT_FALSE(GetOpenFileNameA(&dialog));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_STRUCTSIZE));
  emul::SetFileDialogHandler([](const emul::FileDialogRequest&) {
    return emul::FileDialogAnswer::Choose("C:\\" + std::string(300, 'n') + ".ZAN");
  });
  EXPECT_FALSE(Show(true, nullptr, 0));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(FNERR_BUFFERTOOSMALL));
  emul::SetFileDialogHandler(
      [](const emul::FileDialogRequest&) { return emul::FileDialogAnswer::Fail(); });
  EXPECT_FALSE(Show(true, nullptr, 0));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_DIALOGFAILURE));
}

} // namespace
