#include "platform/emul/paths.h"

#include <gtest/gtest.h>

TEST(ToHostPath, DriveCIsTheHostRoot) {
  EXPECT_EQ(emul::ToHostPath("C:\\a\\b.wav"), "/a/b.wav");
  EXPECT_EQ(emul::ToHostPath("c:\\a\\b.wav"), "/a/b.wav");
  EXPECT_EQ(emul::ToHostPath("C:/a/b.wav"), "/a/b.wav");
  EXPECT_EQ(emul::ToHostPath("C:\\"), "/");
  EXPECT_EQ(emul::ToHostPath("C:\\\\a"), "/a");
}

TEST(ToHostPath, RelativeNamesStayRelative) {
  EXPECT_EQ(emul::ToHostPath("kit\\kick.wav"), "kit/kick.wav");
  EXPECT_EQ(emul::ToHostPath("kick.wav"), "kick.wav");
  EXPECT_EQ(emul::ToHostPath("..\\up.wav"), "../up.wav");
  // A drive without a root names the current directory of that drive.
  EXPECT_EQ(emul::ToHostPath("C:kick.wav"), "kick.wav");
  EXPECT_EQ(emul::ToHostPath("C:"), ".");
}

TEST(ToHostPath, HostPathsPassUnchanged) {
  EXPECT_EQ(emul::ToHostPath("/tmp/x/kick.wav"), "/tmp/x/kick.wav");
  EXPECT_EQ(emul::ToHostPath("\\root-relative"), "/root-relative");
  EXPECT_EQ(emul::ToHostPath(""), "");
}

TEST(ToHostPath, UnknownDrivesAndNullNameNothing) {
  EXPECT_EQ(emul::ToHostPath("Q:\\kick.wav"), "");
  EXPECT_EQ(emul::ToHostPath(nullptr), "");
}
