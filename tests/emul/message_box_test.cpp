// Message boxes go to the replaceable handler.
#include "platform/emul/control.h"
#include "tests/support/message_boxes.h"

#include <gtest/gtest.h>

TEST(MessageBox, DefaultPrintsCaptionAndTextAndAnswersOk) {
  emul::SetMessageBoxHandler(nullptr);
  testing::internal::CaptureStderr();
  int answer = MessageBoxA(nullptr, "Two\nlines", "ZA32", MB_ICONERROR);
  std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, IDOK);
  EXPECT_NE(printed.find("ZA32"), std::string::npos);
  EXPECT_NE(printed.find("Two\nlines"), std::string::npos);
}

TEST(MessageBox, HandlerSeesOwnerTextCaptionAndStyleAndChoosesTheAnswer) {
  HWND owner = reinterpret_cast<HWND>(0x1234);
  std::string seen;
  emul::SetMessageBoxHandler([&](HWND o, const char* text, const char* caption, UINT type) {
    seen = std::string(caption) + "|" + text + "|" + std::to_string(type) +
           (o == owner ? "|owner" : "|?");
    return IDCANCEL;
  });
  EXPECT_EQ(MessageBoxA(owner, "text", "caption", MB_ICONWARNING), IDCANCEL);
  EXPECT_EQ(seen, "caption|text|48|owner");
  emul::SetMessageBoxHandler(nullptr);
}

TEST(MessageBox, RecorderKeepsEveryBoxAndRestoresTheDefault) {
  {
    MessageBoxRecorder boxes;
    MessageBoxA(nullptr, "one", "A", MB_OK);
    MessageBoxA(reinterpret_cast<HWND>(8), "two", "B", MB_ICONERROR);
    ASSERT_EQ(boxes.calls().size(), 2u);
    EXPECT_EQ(boxes.calls()[1].owner, reinterpret_cast<HWND>(8));
    EXPECT_EQ(boxes.calls()[1].text, "two");
    EXPECT_EQ(boxes.calls()[1].caption, "B");
    EXPECT_EQ(boxes.calls()[1].type, static_cast<UINT>(MB_ICONERROR));
  }
  testing::internal::CaptureStderr();
  MessageBoxA(nullptr, "after", "C", MB_OK);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("after"), std::string::npos);
}
