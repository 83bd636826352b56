// An instance's life: loaded and unloaded without a trace, a failed install undone, the
// process left as it was, and a module that links no audio system.
#include "instance_fixture.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace instance_test {
namespace {

size_t OpenDescriptors() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t size = 0;
  size_t resident = 0;
  statm >> size >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

size_t LoadedCopies() {
  std::ifstream maps("/proc/self/maps");
  std::set<std::string> copies;
  for (std::string line; std::getline(maps, line);)
    if (line.find("/memfd:za32instance") != std::string::npos)
      copies.insert(line.substr(line.rfind(' ') + 1));
  return copies.size();
}

TEST(InstanceLifecycle, LoadAndUnloadAThousandTimesLeavesNothing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer keeps what each copy freed in its quarantine";
#endif
  TempDir dir;
  const za32::InstanceKeys keys = KeysOn({dir.write("a.wav", SineWav(44100, 441, 4410, 0.5))});
  auto cycle = [&] {
    auto instance = OpenWith(48000, keys);
    ASSERT_TRUE(instance);
    EXPECT_EQ(LoadedCopies(), 1u);
    RenderSummed(*instance, 64, {Note(3, 60, 127)});
  };
  for (int i = 0; i < 50; ++i)
    cycle();
  const size_t descriptors = OpenDescriptors();
  const size_t resident = ResidentBytes();
  for (int i = 0; i < 1000; ++i)
    cycle();
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_LT(ResidentBytes(), resident + 4 * 1024 * 1024);
  EXPECT_EQ(LoadedCopies(), 0u);
}

// A key whose file cannot be read: InstallKeys says which and why, and the keys before
// it go on playing. Meanwhile nothing of the process changes: working directory,
// environment (an instance reads none: ZA32_AUDIO asks for JACK here), standard output
// and error.
TEST(InstanceLifecycle, AFailedInstallKeepsTheOldKeysAndTheProcessAsItWas) {
  TempDir dir;
  const std::string tone = dir.write("tone.wav", SineWav(44100, 441, 44100, 0.5));
  const std::filesystem::path cwd = std::filesystem::current_path();
  ASSERT_EQ(setenv("ZA32_AUDIO", "jack", 1), 0);
  std::fflush(stdout);
  std::fflush(stderr);
  const int savedOut = dup(1);
  const int savedErr = dup(2);
  const std::string captured = dir.file("captured.txt");
  const int sink = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(sink, 1);
  dup2(sink, 2);

  auto instance = OpenWith(44100, KeysOn({tone}));
  std::string why;
  const bool installed =
      instance && instance->InstallKeys(KeysOn({tone, dir.file("missing.wav")}), &why);
  const Block block = instance ? RenderSummed(*instance, 4410, {Note(0, 60, 127)}) : Block{};
  const za32::InstanceKeys keys = instance ? instance->Keys() : za32::InstanceKeys{};
  instance.reset();

  std::fflush(stdout);
  std::fflush(stderr);
  dup2(savedOut, 1);
  dup2(savedErr, 2);
  close(savedOut);
  close(savedErr);
  close(sink);
  ASSERT_EQ(setenv("ZA32_AUDIO", "manual", 1), 0);
  EXPECT_FALSE(installed);
  EXPECT_NE(why.find("key 2"), std::string::npos) << why;
  EXPECT_NE(why.find("missing.wav"), std::string::npos) << why;
  EXPECT_EQ(keys.records[1].SampleName[0], '\0'); // the old map: one key
  EXPECT_GE(keys.records[0].SampleNumber, 0);
  ASSERT_EQ(block.left.size(), 4410u);
  EXPECT_NEAR(block.left[0], 0.5f, 1e-4f);
  EXPECT_EQ(std::filesystem::current_path(), cwd);
  EXPECT_EQ(std::filesystem::file_size(captured), 0u);
}

TEST(InstanceModule, LinksNoAudioSystemAndExportsOnlyItsEntry) {
  const std::string command =
      std::string("readelf -d -W --dyn-syms '") + ZA32_INSTANCE_MODULE_FILE + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_TRUE(pipe);
  std::set<std::string> needed;
  std::set<std::string> exported;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe)) {
    const std::string text = line;
    if (const size_t at = text.find("Shared library: ["); at != std::string::npos)
      needed.insert(text.substr(at + 17, text.find(']') - at - 17));
    if (text.find(" GLOBAL ") != std::string::npos && text.find(" UND ") == std::string::npos)
      exported.insert(
          text.substr(text.find_last_of(' ') + 1, text.find('\n') - text.find_last_of(' ') - 1));
    EXPECT_EQ(text.find(" UNIQUE "), std::string::npos) << text;
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(exported, std::set<std::string>{"za32_instance_module"});
  for (const std::string& library : needed) {
    const bool system = library.rfind("libc.so", 0) == 0 || library.rfind("libm.so", 0) == 0 ||
                        library.rfind("libstdc++.so", 0) == 0 ||
                        library.rfind("libgcc_s.so", 0) == 0 || library.rfind("ld-linux", 0) == 0 ||
                        // a sanitized build's runtimes
                        library.rfind("libasan.so", 0) == 0 ||
                        library.rfind("libubsan.so", 0) == 0 || library.rfind("libtsan.so", 0) == 0;
    EXPECT_TRUE(system) << library;
  }
  EXPECT_TRUE(needed.count("libc.so.6"));
}

} // namespace
} // namespace instance_test
