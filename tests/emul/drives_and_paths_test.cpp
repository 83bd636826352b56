// The drive table, path translation and the current directory of the emulated platform.
#include "platform/emul/paths.h"
#include "platform/win32.h"
#include "tests/support/drive_sandbox.h"
#include "tests/support/temp_dir.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

TEST(DriveTable, ListsDrivesInLetterOrderAndReportsTheirTypes) {
  DriveSandbox sandbox;
  TempDir disc, other;
  ASSERT_TRUE(emul::MapDrive('e', disc.path().string(), DRIVE_CDROM));
  ASSERT_TRUE(emul::MapDrive('D', other.path().string()));
  EXPECT_FALSE(emul::MapDrive('1', "/tmp"));
  EXPECT_FALSE(emul::MapDrive('F', "relative"));

  char drives[64];
  std::memset(drives, 'x', sizeof drives);
  ASSERT_EQ(GetLogicalDriveStringsA(sizeof drives, drives), 12u);
  EXPECT_EQ(std::string(drives, 13), std::string("C:\\\0D:\\\0E:\\\0", 13));
  EXPECT_EQ(drives[13], 'x');
  // Too small: the size it needs, and nothing written.
  EXPECT_EQ(GetLogicalDriveStringsA(12, drives), 13u);

  EXPECT_EQ(GetDriveTypeA("C:\\"), UINT(DRIVE_FIXED));
  EXPECT_EQ(GetDriveTypeA("e:"), UINT(DRIVE_CDROM));
  EXPECT_EQ(GetDriveTypeA("Q:\\"), UINT(DRIVE_NO_ROOT_DIR));
  EXPECT_EQ(GetDriveTypeA("C:\\tmp\\"), UINT(DRIVE_NO_ROOT_DIR));
}

TEST(DriveTable, MountedDiscsTakeFreeLettersInTheMountTablesOrder) {
  DriveSandbox sandbox;
  TempDir dir;
  std::string table = dir.write("mounts", "/dev/sda1 / ext4 rw 0 0\n"
                                          "/dev/sr0 /media/cd\\040one iso9660 ro 0 0\n"
                                          "/dev/sr1 /media/dvd udf ro 0 0\n");
  ASSERT_TRUE(emul::MapDrive('D', dir.path().string()));
  emul::SetMountTable(table);
  auto drives = emul::ListDrives();
  ASSERT_EQ(drives.size(), 4u); // C: D: E: F:
  EXPECT_EQ(drives[2].letter, 'E');
  EXPECT_EQ(drives[2].root, "/media/cd one");
  EXPECT_EQ(drives[2].type, UINT(DRIVE_CDROM));
  EXPECT_EQ(drives[3].letter, 'F');
  EXPECT_EQ(drives[3].root, "/media/dvd");
  // A disc mapped by hand keeps its letter and is not listed twice.
  ASSERT_TRUE(emul::MapDrive('X', "/media/dvd", DRIVE_CDROM));
  drives = emul::ListDrives();
  ASSERT_EQ(drives.size(), 4u);
  EXPECT_EQ(drives[3].letter, 'X');
}

TEST(Paths, WindowsPathsGoToTheirDrivesDirectory) {
  DriveSandbox sandbox;
  TempDir dir;
  fs::create_directories(dir.path() / "a" / "b");
  ASSERT_TRUE(emul::MapDrive('D', dir.path().string()));
  std::string root = dir.path().string();

  EXPECT_EQ(emul::ToHostPath("C:\\tmp\\x.wav"), "/tmp/x.wav");
  EXPECT_EQ(emul::ToHostPath("d:/a\\b\\..\\c.wav"), root + "/a/c.wav");
  EXPECT_EQ(emul::ToHostPath("D:\\..\\..\\x"), root + "/x"); // never above the root
  EXPECT_EQ(emul::ToHostPath("/usr/share/x"), "/usr/share/x");
  EXPECT_EQ(emul::ToHostPath("Q:\\x"), "");
  EXPECT_EQ(emul::ToHostPath("\\\\server\\share\\x"), "");

  ASSERT_TRUE(SetCurrentDirectoryA("D:\\a\\b"));
  EXPECT_EQ(emul::ToHostPath("..\\x.wav"), "../x.wav");
  EXPECT_EQ(emul::ToHostPath("\\x.wav"), root + "/x.wav");
  EXPECT_EQ(emul::ToHostPath("D:x.wav"), "x.wav");
  EXPECT_EQ(emul::ToHostPath("C:x.wav"), "/x.wav");
  EXPECT_EQ(emul::ToWindowsPath(root + "/a/b/c"), "D:\\a\\b\\c");
  EXPECT_EQ(emul::ToWindowsPath("/usr"), "C:\\usr");
}

TEST(CurrentDirectory, KeepsTheWindowsFormItWasSetWith) {
  DriveSandbox sandbox;
  TempDir dir;
  fs::create_directories(dir.path() / "sub");
  std::string file = dir.write("file.txt", "x");
  std::string viaC = emul::ToWindowsPath(dir.path().string());
  ASSERT_TRUE(emul::MapDrive('D', dir.path().string()));

  ASSERT_TRUE(SetCurrentDirectoryA((viaC + "\\sub\\").c_str()));
  EXPECT_EQ(CurrentDirectory(), viaC + "\\sub");
  ASSERT_TRUE(SetCurrentDirectoryA("D:\\sub"));
  EXPECT_EQ(CurrentDirectory(), "D:\\sub");
  ASSERT_TRUE(SetCurrentDirectoryA(".."));
  EXPECT_EQ(CurrentDirectory(), "D:\\");
  EXPECT_EQ(fs::current_path(), fs::canonical(dir.path()));

  char small[3];
  EXPECT_EQ(GetCurrentDirectoryA(sizeof small, small), 4u);

  EXPECT_FALSE(SetCurrentDirectoryA("D:\\missing"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(SetCurrentDirectoryA("D:\\file.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
  EXPECT_FALSE(SetCurrentDirectoryA("Q:\\"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CurrentDirectory(), "D:\\");

  // Moved by the host itself: worked out again from the drive table.
  fs::current_path(dir.path() / "sub");
  EXPECT_EQ(CurrentDirectory(), "D:\\sub");
}

} // namespace
