// Window classes and windows of the emulated window manager.
#include "recording_window.h"

#include <string>

using WindowClasses = RecordingWindowTest;
using Windows = RecordingWindowTest;

TEST_F(WindowClasses, SecondRegistrationOfNameAndInstanceFailsWhateverTheCase) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = TestInstance;
  wc.lpszClassName = "emultestwindow";
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  // The same name for another instance is another class.
  wc.hInstance = reinterpret_cast<HINSTANCE>(0x500000);
  EXPECT_NE(RegisterClassA(&wc), 0);
  EXPECT_TRUE(UnregisterClassA("EMULTESTWINDOW", wc.hInstance));
  EXPECT_FALSE(UnregisterClassA("EMULTESTWINDOW", wc.hInstance));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
}

TEST_F(WindowClasses, IncompleteDescriptionsAreRefused) {
  WNDCLASSA wc{};
  wc.lpszClassName = "NoProcedure";
  EXPECT_EQ(RegisterClassA(&wc), 0);
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = nullptr;
  EXPECT_EQ(RegisterClassA(&wc), 0);
  wc.lpszClassName = "";
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_EQ(RegisterClassA(nullptr), 0);
}

TEST_F(WindowClasses, InjectedFaultFailsOneRegistration) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "Faulty";
  emul::FailNth(emul::SystemCall::RegisterClass, 1);
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_FALSE(UnregisterClassA("Faulty", nullptr));
  EXPECT_NE(RegisterClassA(&wc), 0);
  EXPECT_TRUE(UnregisterClassA("Faulty", nullptr));
}

TEST_F(WindowClasses, ClassCannotGoWhileAWindowOfItLives) {
  HWND window = Create();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(UnregisterClassA(ClassName, TestInstance));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  // Not even while the window handles its own WM_DESTROY.
  BOOL unregisteredDuringDestroy = TRUE;
  onMessage = [&](HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_DESTROY)
      unregisteredDuringDestroy = UnregisterClassA(ClassName, TestInstance);
  };
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(unregisteredDuringDestroy);
}

TEST_F(WindowClasses, OnlyTheSystemCursorsLoad) {
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
  EXPECT_EQ(LoadCursorA(TestInstance, IDC_ARROW), nullptr);
  EXPECT_EQ(LoadCursorA(nullptr, "MyCursor"), nullptr);
}

TEST_F(Windows, CreationSendsNcCreateThenCreateWithTheCreationValues) {
  int data = 7;
  HWND window = CreateWindowExA(WS_EX_CLIENTEDGE, ClassName, "Title", WS_CAPTION, 1, 2, 30, 40,
                                nullptr, nullptr, TestInstance, &data);
  ASSERT_NE(window, nullptr);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0].message, static_cast<UINT>(WM_NCCREATE));
  EXPECT_EQ(log[1].message, static_cast<UINT>(WM_CREATE));
  EXPECT_EQ(log[0].lParam, log[1].lParam); // the same CREATESTRUCTA
  EXPECT_EQ(seenCreate.lpCreateParams, &data);
  EXPECT_EQ(seenCreate.hInstance, TestInstance);
  EXPECT_EQ(seenCreate.hwndParent, nullptr);
  EXPECT_EQ(seenCreate.x, 1);
  EXPECT_EQ(seenCreate.y, 2);
  EXPECT_EQ(seenCreate.cx, 30);
  EXPECT_EQ(seenCreate.cy, 40);
  EXPECT_EQ(seenCreate.style, static_cast<LONG>(WS_CAPTION));
  EXPECT_EQ(seenCreate.dwExStyle, static_cast<DWORD>(WS_EX_CLIENTEDGE));
  EXPECT_STREQ(seenCreate.lpszName, "Title");
  EXPECT_STREQ(seenCreate.lpszClass, ClassName);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(emul::LiveWindows(), 1u);
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(Windows, MinusOneFromCreateDestroysTheWindowAndReturnsNull) {
  createResult = -1;
  HWND window = Create();
  EXPECT_EQ(window, nullptr);
  ASSERT_EQ(log.size(), 4u);
  HWND created = log[0].window;
  EXPECT_EQ(log[2], (LoggedMessage{created, WM_DESTROY, 0, 0}));
  EXPECT_EQ(log[3], (LoggedMessage{created, WM_NCDESTROY, 0, 0}));
  EXPECT_FALSE(IsWindow(created));
  EXPECT_EQ(emul::LiveWindows(), 0u);
}

TEST_F(Windows, OtherFailuresFromCreateDoNotDestroy) {
  createResult = -2;
  HWND window = Create();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(Windows, RefusalAtNcCreateGetsOnlyNcDestroy) {
  ncCreateResult = 0;
  EXPECT_EQ(Create(), nullptr);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].message, static_cast<UINT>(WM_NCDESTROY));
  EXPECT_TRUE(WindowsThatGot(WM_CREATE).empty());
  EXPECT_TRUE(WindowsThatGot(WM_DESTROY).empty());
}

TEST_F(Windows, CreationFailsForFaultsUnknownClassesBadParentsAndOrphanChildren) {
  emul::FailNth(emul::SystemCall::CreateWindow, 1);
  EXPECT_EQ(Create(), nullptr);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(
      CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, TestInstance, nullptr),
      nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_EQ(Create(reinterpret_cast<HWND>(0x1234)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(Create(nullptr, WS_CHILD), nullptr);
  EXPECT_EQ(emul::LiveWindows(), 0u);
  // A failed creation does not hold the class.
  EXPECT_TRUE(UnregisterClassA(ClassName, TestInstance));
  WNDCLASSA wc{};
  wc.lpfnWndProc = Procedure;
  wc.hInstance = TestInstance;
  wc.lpszClassName = ClassName;
  EXPECT_NE(RegisterClassA(&wc), 0);
}

TEST_F(Windows, DestroyingAParentDestroysItsChildrenAndInvalidatesEveryHandle) {
  HWND parent = Create();
  HWND child = Create(parent, WS_CHILD);
  HWND grandchild = Create(child, WS_CHILD);
  ASSERT_TRUE(parent && child && grandchild);
  EXPECT_EQ(GetParent(grandchild), child);
  log.clear();
  bool childAliveDuringParentsDestroy = false;
  onMessage = [&](HWND window, UINT message, WPARAM, LPARAM) {
    if (window == parent && message == WM_DESTROY)
      childAliveDuringParentsDestroy = IsWindow(child) && IsWindow(grandchild);
  };
  EXPECT_TRUE(DestroyWindow(parent));
  // WM_DESTROY from the top down, while every child still exists; the children are
  // freed first, each with WM_NCDESTROY as its last message.
  EXPECT_EQ(WindowsThatGot(WM_DESTROY), (std::vector<HWND>{parent, child, grandchild}));
  EXPECT_EQ(WindowsThatGot(WM_NCDESTROY), (std::vector<HWND>{grandchild, child, parent}));
  EXPECT_TRUE(childAliveDuringParentsDestroy);
  EXPECT_FALSE(IsWindow(parent) || IsWindow(child) || IsWindow(grandchild));
  EXPECT_FALSE(DestroyWindow(child));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, DestroyingAChildLeavesItsParent) {
  HWND parent = Create();
  HWND child = Create(parent, WS_CHILD);
  EXPECT_TRUE(DestroyWindow(child));
  EXPECT_TRUE(IsWindow(parent));
  log.clear();
  EXPECT_TRUE(DestroyWindow(parent));
  EXPECT_EQ(WindowsThatGot(WM_DESTROY), std::vector<HWND>{parent});
}

TEST_F(Windows, DestroyWindowDuringDestructionIsHarmless) {
  HWND window = Create();
  onMessage = [&](HWND w, UINT message, WPARAM, LPARAM) {
    if (message == WM_DESTROY || message == WM_NCDESTROY) {
      EXPECT_TRUE(DestroyWindow(w));
    }
  };
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_EQ(WindowsThatGot(WM_DESTROY).size(), 1u);
  EXPECT_EQ(WindowsThatGot(WM_NCDESTROY).size(), 1u);
}

TEST_F(Windows, CloseDestroysThroughTheDefaultProcedure) {
  HWND window = Create();
  EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(DefWindowProcA(nullptr, WM_USER + 1, 5, 6), 0);
  EXPECT_EQ(DefWindowProcA(nullptr, WM_NCCREATE, 0, 0), TRUE);
}

TEST_F(Windows, VisibilityFollowsShowWindowAndTheParents) {
  HWND parent = Create(nullptr, WS_VISIBLE);
  HWND child = Create(parent, WS_CHILD);
  EXPECT_TRUE(IsWindowVisible(parent));
  EXPECT_FALSE(IsWindowVisible(child));
  EXPECT_FALSE(ShowWindow(child, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_TRUE(ShowWindow(parent, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(child));
  EXPECT_FALSE(ShowWindow(reinterpret_cast<HWND>(0x99), SW_SHOW));
  EXPECT_TRUE(DestroyWindow(parent));
}

TEST_F(Windows, SetParentMovesAWindowAndRefusesCycles) {
  HWND a = Create();
  HWND b = Create();
  HWND child = Create(a, WS_CHILD);
  EXPECT_EQ(SetParent(child, b), a);
  EXPECT_EQ(GetParent(child), b);
  EXPECT_EQ(SetParent(b, child), nullptr); // b would be its own grandparent
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SetParent(child, reinterpret_cast<HWND>(0x99)), nullptr);
  EXPECT_EQ(GetParent(child), b);
  log.clear();
  EXPECT_TRUE(DestroyWindow(a));
  EXPECT_TRUE(IsWindow(child)); // it moved away from a
  EXPECT_TRUE(DestroyWindow(b));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(SetParent(reinterpret_cast<HWND>(0x99), nullptr), nullptr);
}

TEST_F(Windows, FocusMovesWithMessagesAndGoesWithTheWindow) {
  HWND a = Create();
  HWND b = Create();
  EXPECT_EQ(SetFocus(a), nullptr);
  EXPECT_EQ(GetFocus(), a);
  log.clear();
  EXPECT_EQ(SetFocus(b), a);
  EXPECT_EQ(log, (std::vector<LoggedMessage>{{a, WM_KILLFOCUS, reinterpret_cast<WPARAM>(b), 0},
                                             {b, WM_SETFOCUS, reinterpret_cast<WPARAM>(a), 0}}));
  EXPECT_EQ(SetFocus(reinterpret_cast<HWND>(0x99)), nullptr);
  EXPECT_EQ(GetFocus(), b);
  EXPECT_TRUE(DestroyWindow(b));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_TRUE(DestroyWindow(a));
}

TEST_F(Windows, PaintingGivesADeviceContextForLiveWindowsOnly) {
  HWND window = Create();
  PAINTSTRUCT paint;
  EXPECT_NE(BeginPaint(window, &paint), nullptr);
  EXPECT_EQ(paint.hdc, BeginPaint(window, &paint));
  EXPECT_TRUE(EndPaint(window, &paint));
  EXPECT_EQ(DefWindowProcA(window, WM_PAINT, 0, 0), 0);
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_EQ(BeginPaint(window, &paint), nullptr);
  EXPECT_FALSE(EndPaint(window, &paint));
}

TEST_F(Windows, SendMessageReachesLiveWindowsOnly) {
  HWND window = Create();
  log.clear();
  SendMessageA(window, WM_USER + 7, 3, 0x12345678);
  EXPECT_EQ(log, (std::vector<LoggedMessage>{{window, WM_USER + 7, 3, 0x12345678}}));
  EXPECT_TRUE(DestroyWindow(window));
  log.clear();
  EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 0);
  EXPECT_TRUE(log.empty());
}
