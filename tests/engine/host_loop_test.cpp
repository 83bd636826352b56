// A host as a host is written: it starts the engine, runs its thread's message loop
// while notes and parameters are posted to the engine window, and ends with AudioTerm
// and the destruction of its main window, whose WM_QUIT ends the loop.
#include "engine/za32.h"
#include "test_sample.h"
#include "tests/support/engine_fixture.h"

#include <thread>
#include <vector>

namespace {

// Posted to the host's thread itself when the song is over.
constexpr UINT SongOver = WM_USER + 100;

struct LoopRecord {
  std::vector<int> voicesAfterEachNote;
  int exitCode = -1;
  int messages = 0;
};

// The host's loop: dispatches until WM_QUIT; on SongOver, closes the engine and
// destroys its main window.
LoopRecord RunHostLoop(HWND host) {
  LoopRecord record;
  MSG msg;
  BOOL got;
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
    ++record.messages;
    if (!msg.hwnd && msg.message == SongOver) {
      AudioTerm(0);
      DestroyWindow(host);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (msg.message == AM_NOTE) {
      int active = 0;
      for (const VoiceRecord& voice : VoiceTable)
        active += voice.Active ? 1 : 0;
      record.voicesAfterEachNote.push_back(active);
    }
  }
  EXPECT_EQ(got, 0);
  record.exitCode = static_cast<int>(msg.wParam);
  return record;
}

} // namespace

using HostLoop = EngineTest;

TEST_F(HostLoop, PlaysPostedNotesAndEndsWithTheQuitOfTheEngineWindow) {
  HWND engine = StartEngine();
  ASSERT_NE(engine, nullptr);
  AddTestSample("kick.wav");
  AssignTestKey(0, 36);
  AssignTestKey(1, 38);

  PostMessageA(engine, AM_VOLUME, 0, MAKELPARAM(1, 90));
  PostMessageA(engine, AM_NOTE, 0, MAKELPARAM(36, 100));
  PostMessageA(engine, AM_NOTE, 0, MAKELPARAM(38, 64));
  PostMessageA(engine, AM_NOTE, 0, MAKELPARAM(36, 0));
  PostMessageA(engine, AM_NOTE, 0, MAKELPARAM(38, 0));
  PostMessageA(nullptr, SongOver, 0, 0);

  LoopRecord record = RunHostLoop(host);
  EXPECT_EQ(record.voicesAfterEachNote, (std::vector<int>{1, 2, 1, 0}));
  EXPECT_EQ(record.exitCode, 0);
  EXPECT_EQ(record.messages, 6);
  EXPECT_EQ(KeyMap[1].Volume, 90);
  EXPECT_FALSE(IsWindow(engine));
  EXPECT_EQ(SoundDevice, nullptr);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(HostLoop, ASequencerThreadMayPostWhileTheLoopRuns) {
  HWND engine = StartEngine();
  ASSERT_NE(engine, nullptr);
  AddTestSample("kick.wav");
  AssignTestKey(0, 36);
  HWND hostWindow = host;
  std::thread sequencer([engine, hostWindow] {
    for (int i = 0; i < 50; ++i) {
      PostMessageA(engine, AM_NOTE, 0, MAKELPARAM(36, 100));
      PostMessageA(engine, AM_NOTE, 0, MAKELPARAM(36, 0));
    }
    // The end of the song goes to the host's main window, which closes.
    PostMessageA(hostWindow, WM_CLOSE, 0, 0);
  });
  LoopRecord record = RunHostLoop(host);
  sequencer.join();
  ASSERT_EQ(record.voicesAfterEachNote.size(), 100u);
  for (size_t i = 0; i < record.voicesAfterEachNote.size(); ++i)
    EXPECT_EQ(record.voicesAfterEachNote[i], i % 2 == 0 ? 1 : 0) << "note " << i;
  EXPECT_EQ(record.exitCode, 0);
  EXPECT_FALSE(IsWindow(engine));
}
