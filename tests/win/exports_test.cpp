// The module as the loader sees it: its name, its export table by name and by
// ordinal, the import library, and what the module does as a program.
#include "support/engine_test.h"

#include <cstring>
#include <iostream>

TEST(Exports, EachFunctionByNameIsTheOneAtItsOrdinal) {
  Za32Module& module = Za32Module::Get();
  ASSERT_NE(module.handle(), nullptr);
  std::vector<std::string> missing;
  for (const ExportEntry& entry : kEngineExports) {
    FARPROC byName = module.ByName(entry.name);
    if (!byName) {
      missing.push_back(entry.name);
      continue;
    }
    EXPECT_EQ(module.ByOrdinal(entry.ordinal), byName) << entry.name << " @" << entry.ordinal;
    // Exported undecorated only, and it is the engine's own function.
    std::string decorated = std::string("_") + entry.name + "@";
    void* symbol = nullptr;
    for (int bytes = 0; bytes <= 16 && !symbol; bytes += 4)
      symbol = module.Symbol(decorated + std::to_string(bytes));
    EXPECT_EQ(reinterpret_cast<void*>(byName), symbol) << entry.name;
    EXPECT_EQ(module.ByName((decorated.substr(1) + "4").c_str()), nullptr);
    EXPECT_EQ(module.ByName((decorated + "4").c_str()), nullptr);
  }
  for (const ExportEntry& entry : kSizedExports) {
    FARPROC byName = module.ByName(entry.name);
    if (byName)
      EXPECT_EQ(module.ByOrdinal(entry.ordinal), byName) << entry.name << " @" << entry.ordinal;
    else
      missing.push_back(entry.name);
  }
  for (WORD ordinal : {1, 21, 22, 23})
    EXPECT_EQ(module.ByOrdinal(ordinal), nullptr) << "@" << ordinal;
  if (!missing.empty())
    std::cout << "not yet exported by this build: " << JoinNames(missing) << "\n";
}

TEST(Exports, ModuleNameIsZA32WithItsTrailingDot) {
  ASSERT_NE(Za32Module::Get().handle(), nullptr);
  EXPECT_EQ(Za32Module::Get().ExportedModuleName(), "ZA32.");
}

// A host linked at build time with the import library: the loader must resolve every
// function by its undecorated name in ZA32.DLL.
TEST(Exports, ImportLibraryResolvesEveryFunction) {
  std::vector<std::string> missing;
  for (const ExportEntry& entry : kEngineExports)
    if (!Za32Module::Get().ByName(entry.name))
      missing.push_back(entry.name);
  if (!missing.empty())
    GTEST_SKIP() << "the linked host needs every export; missing " << JoinNames(missing);

  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string host = exe;
  host = host.substr(0, host.find_last_of('\\') + 1) + "za32_linked_host.exe";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string commandLine = "\"" + host + "\"";
  ASSERT_TRUE(CreateProcessA(host.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &process))
      << host << ": error " << GetLastError();
  DWORD waited = WaitForSingleObject(process.hProcess, 60000);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  if (waited != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the linked host did not finish";
  EXPECT_EQ(exitCode, 0u);
}

// Started as a program the module does nothing: the system will not run a DLL, so
// none of its code runs and no process is left behind.
TEST(Module, StartedAsAProgramDoesNothing) {
  std::string dll = Za32Module::Get().path();
  ASSERT_FALSE(dll.empty());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string commandLine = "\"" + dll + "\"";
  BOOL started = CreateProcessA(dll.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                nullptr, nullptr, &startup, &process);
  DWORD exitCode = 0;
  if (started) {
    WaitForSingleObject(process.hProcess, 10000);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  EXPECT_TRUE(!started || exitCode == 0) << "exit code " << exitCode;
}

// Loaded, before any call: every record zero, the bend at its centre, no window, no
// device.
TEST(Module, LoadsWithTheEngineAtRest) {
  const Za32Globals& engine = Engine();
  ASSERT_NE(engine.KeyMap, nullptr) << "the module's symbol table names no KeyMap";
  ASSERT_NE(engine.SampleList, nullptr);
  ASSERT_NE(engine.BendValue, nullptr);
  ASSERT_NE(engine.SoundDevice, nullptr);
  ASSERT_NE(engine.EngineWindow, nullptr);
  EXPECT_EQ(*engine.BendValue, 64);
  EXPECT_EQ(*engine.EngineWindow, nullptr);
  EXPECT_EQ(*engine.SoundDevice, nullptr);
  EXPECT_EQ(engine.SampleList->Next, nullptr);
  EXPECT_EQ(engine.SampleList->Buffer, nullptr);
  // Every key starts empty: no sample (-1) and every other byte zero.
  for (int k = 0; k < ZA32_KEYS; ++k) {
    KeyRecord expected{};
    expected.SampleNumber = -1;
    EXPECT_EQ(std::memcmp(&engine.KeyMap[k], &expected, sizeof(KeyRecord)), 0) << "key " << k;
  }
  WNDCLASSA windowClass;
  EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "ZA32", &windowClass));
}
