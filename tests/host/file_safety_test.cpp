// za32 and the user's files: every refused or failed command leaves each file in its
// folder as it was (outputs, inputs, device nodes) with no temporary file left, and
// says why in one line.
#include "run_za32.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdlib>
#include <map>
#include <thread>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Every entry of a folder, by name: its kind, and its bytes or link target.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    fs::file_status status = entry.symlink_status();
    if (fs::is_symlink(status))
      entries[name] = "link to " + fs::read_symlink(entry.path()).string();
    else if (fs::is_character_file(status))
      entries[name] = "character device";
    else if (fs::is_fifo(status))
      entries[name] = "fifo";
    else if (fs::is_directory(status))
      entries[name] = "directory";
    else if (entry.file_size() > (1u << 20))
      entries[name] = std::to_string(entry.file_size()) + " bytes"; // the sparse huge.wav
    else
      entries[name] = ReadText(entry.path());
  }
  return entries;
}

std::string OneKeyKit(const std::string& sample) {
  return nlohmann::json{{"keys", {{{"sample", sample}, {"key", 36}}}}}.dump();
}

class FileSafety : public testing::Test {
protected:
  void SetUp() override {
    WriteWav(dir.path() / "a.wav", 44100, 1, std::vector<int16_t>(4410, 8000));
    WriteText(dir.path() / "kit.json", OneKeyKit("a.wav"));
    WriteText(dir.path() / "pattern.json", R"({"tempo": 120, "steps": 4, "tracks": {"36": "x"}})");
    WriteText(dir.path() / "bad.json", R"({"tempo": 120})");
    WriteText(dir.path() / "out.wav", "the user's own recording");
    WriteText(dir.path() / "map.bin", std::string(7800, '\0'));
    WriteText(dir.path() / "empty.wav", "");
    fs::create_directory(dir.path() / "dir");
    fs::create_symlink("loop", dir.path() / "loop");
    fs::create_symlink("a.wav", dir.path() / "link.wav");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0644), 0);
    // Past what the engine's 32-bit reader can take, without using the disk.
    fs::path huge = dir.path() / "huge.wav";
    WriteText(huge, "RIFF");
    fs::resize_file(huge, 0x80000000ull + 44);
    hasDevice = mknod(dir.file("node").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0;
  }

  // Runs a command that must fail; nothing in the folder may change.
  void ExpectRefused(const std::vector<std::string>& args, const std::string& message) {
    std::string command;
    for (const std::string& word : args)
      command += word + " ";
    auto before = Snapshot(dir.path());
    RunResult run = RunZa32(args, dir.path());
    EXPECT_EQ(run.status, 1) << command << run.err;
    // wavinfo names each file's fault on standard output.
    EXPECT_NE((run.out + run.err).find(message), std::string::npos) << command << "\n" << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << command << run.err;
    EXPECT_EQ(Snapshot(dir.path()), before) << command;
  }

  TempDir dir;
  bool hasDevice = false;
};

TEST_F(FileSafety, AnOutputThatIsAnInputIsRefused) {
  const std::vector<std::vector<std::string>> cases = {
      {"render", "kit.json", "pattern.json", "-o", "kit.json"},
      {"render", "kit.json", "pattern.json", "-o", "pattern.json"},
      {"render", "kit.json", "pattern.json", "-o", "a.wav"},
      {"audition", "a.wav", "-o", "link.wav"},
      {"keymap", "kit.json", "-o", "kit.json"},
      {"keymap", "kit.json", "-o", "link.wav"},
      {"keymap", "--to-kit", "map.bin", "-o", "map.bin"},
  };
  for (const auto& args : cases)
    ExpectRefused(args, "is the input");
}

TEST_F(FileSafety, AFailedCommandLeavesItsOutputAsItWas) {
  ExpectRefused({"render", "kit.json", "bad.json", "-o", "out.wav"}, "bad.json: has no \"steps\"");
  ExpectRefused({"audition", "empty.wav", "-o", "out.wav"}, "the file is empty");
  WriteText(dir.path() / "gone.json", OneKeyKit("gone.wav"));
  ExpectRefused({"render", "gone.json", "pattern.json", "-o", "out.wav"},
                "No such file or directory");
}

TEST_F(FileSafety, OnlyRegularFilesAreWritten) {
  ExpectRefused({"render", "kit.json", "pattern.json", "-o", "fifo"},
                "not a regular file (a FIFO)");
  ExpectRefused({"keymap", "kit.json", "-o", "dir"}, "Is a directory");
  ExpectRefused({"render", "kit.json", "pattern.json", "-o", "-"}, "give a file name");
  if (!hasDevice)
    GTEST_SKIP() << "mknod is not permitted here; the device-node case did not run";
  ExpectRefused({"audition", "a.wav", "-o", "node"}, "not a regular file (a character device)");
}

TEST_F(FileSafety, RefusedInputsNameTheReasonWithoutOpeningThem) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"render", "fifo", "pattern.json", "-o", "new.wav"},
       "fifo: cannot read the kit file: not a regular file (a FIFO)"},
      {{"render", "kit.json", "dir", "-o", "new.wav"},
       "dir: cannot read the pattern file: Is a directory"},
      {{"keymap", "--to-kit", "fifo"}, "fifo: cannot read the key map: not a regular file"},
      {{"audition", "loop", "-o", "new.wav"}, "loop: cannot read the WAV file: Too many levels"},
      {{"audition", "fifo", "--seconds", "0"}, "not a regular file (a FIFO)"},
      {{"wavinfo", "huge.wav"}, "too large for the engine's 32-bit reader"},
      {{"wavinfo", "empty.wav"}, "empty.wav: cannot read the WAV file: the file is empty"},
  };
  for (const auto& [args, message] : cases)
    ExpectRefused(args, message);
}

TEST_F(FileSafety, AnUnreadableFileIsSaidToBeSo) {
  if (geteuid() == 0)
    GTEST_SKIP() << "root reads any file; permission cannot be denied here";
  fs::permissions(dir.path() / "kit.json", fs::perms::none);
  ExpectRefused({"render", "kit.json", "pattern.json", "-o", "new.wav"}, "Permission denied");
}

TEST_F(FileSafety, AnInterruptedRenderLeavesNoTrace) {
  // An hour of sound: it is still rendering when the signal comes.
  WriteText(dir.path() / "long.json",
            R"({"tempo": 60, "steps_per_beat": 1, "steps": 3600, "tracks": {"36": "x"}})");
  auto before = Snapshot(dir.path());
  StartedZa32 started = StartZa32({"render", "kit.json", "long.json", "-o", "out.wav"}, dir.path());
  bool temporary = false;
  for (int i = 0; i < 3000 && !temporary; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path()))
      temporary = temporary || entry.path().filename().string().starts_with(".out.wav.");
  }
  ASSERT_TRUE(temporary) << "the render never began its output";
  // At once: the whole hour renders in a few tenths of a second.
  kill(started.pid, SIGINT);
  RunResult run = WaitZa32(started);
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_EQ(run.err, "za32: interrupted; out.wav left as it was\n");
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST_F(FileSafety, DemoKeepsAFolderItDidNotWrite) {
  fs::create_directory(dir.path() / "samples");
  WriteText(dir.path() / "samples" / "kick.wav", "my own kick");
  std::vector<std::string> demo = {"demo", "-o", "demo.wav", "--kit-dir", "samples"};
  RunResult refused = RunZa32(demo, dir.path());
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("samples: kick.wav differ from the demo's"), std::string::npos)
      << refused.err;
  EXPECT_EQ(ReadText(dir.path() / "samples" / "kick.wav"), "my own kick");
  EXPECT_FALSE(fs::exists(dir.path() / "samples" / "kit.json"));

  demo.push_back("--force");
  ASSERT_EQ(RunZa32(demo, dir.path()).status, 0);
  demo.pop_back();
  // Its own folder, unchanged, is the demo's to use again; an edit makes it the user's.
  RunResult again = RunZa32(demo, dir.path());
  EXPECT_EQ(again.status, 0) << again.err;
  WriteText(dir.path() / "samples" / "kit.json", "{\"keys\": []}");
  EXPECT_EQ(RunZa32(demo, dir.path()).status, 1);
  EXPECT_EQ(ReadText(dir.path() / "samples" / "kit.json"), "{\"keys\": []}");
}

TEST_F(FileSafety, KeyMapNamesAreWindows1252) {
  WriteText(dir.path() / "latin.json", OneKeyKit("B\xC3\xA4ss \xE2\x82\xAC.wav")); // Bäss €.wav
  ASSERT_EQ(RunZa32({"keymap", "latin.json", "--as-written", "-o", "one.bin"}, dir.path()).status,
            0);
  std::string map = ReadText(dir.path() / "one.bin");
  EXPECT_EQ(std::string(map.c_str()), "B\xE4ss \x80.wav");
  RunResult kit = RunZa32({"keymap", "--to-kit", "one.bin", "-o", "back.json"}, dir.path());
  ASSERT_EQ(kit.status, 0) << kit.err;
  ASSERT_EQ(RunZa32({"keymap", "back.json", "--as-written", "-o", "two.bin"}, dir.path()).status,
            0);
  EXPECT_EQ(ReadText(dir.path() / "two.bin"), map);

  WriteText(dir.path() / "kana.json", OneKeyKit("\xE3\x83\x89.wav"));
  ExpectRefused({"keymap", "kana.json", "-o", "out.wav"},
                "\xE3\x83\x89.wav has a character (U+30C9) that a Windows key map cannot hold");
}

TEST_F(FileSafety, JsonBeyondTheLimitsIsRefused) {
  auto nested = [](int levels) {
    return R"({"keys": [], "comment": )" + std::string(levels, '[') + std::string(levels, ']') +
           "}";
  };
  WriteText(dir.path() / "deep.json", nested(63));
  ExpectRefused({"render", "deep.json", "pattern.json", "-o", "out.wav"},
                "comment: must be a string \"...\" (got a list of 1)");
  WriteText(dir.path() / "deep.json", nested(64));
  ExpectRefused({"render", "deep.json", "pattern.json", "-o", "out.wav"}, "deeper than 64 levels");
  WriteText(dir.path() / "deep.json", nested(200000));
  ExpectRefused({"render", "deep.json", "pattern.json", "-o", "out.wav"}, "deeper than 64 levels");
  WriteText(dir.path() / "big.json", "{\"keys\": []}" + std::string(16 * 1024 * 1024, ' '));
  ExpectRefused({"render", "kit.json", "big.json", "-o", "out.wav"}, "file too large");
}

TEST_F(FileSafety, AFailedWriteToStandardOutputFails) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"wavinfo", "a.wav"}, {"keymap", "--to-kit", "map.bin"}}) {
    RunResult run = RunZa32(args, dir.path(), "/dev/full");
    EXPECT_EQ(run.status, 1) << args[0];
    EXPECT_NE(run.err.find("cannot write to standard output: No space left on device"),
              std::string::npos)
        << run.err;
  }
}

TEST_F(FileSafety, PlayingCommandsTakeTheirOutputFromZa32Audio) {
  const char* given = std::getenv("ZA32_AUDIO");
  std::string kept = given ? given : "";
  setenv("ZA32_AUDIO", "null", 1);
  RunResult rate = RunZa32({"ratetest", "--seconds", "0"}, dir.path());
  setenv("ZA32_AUDIO", "bogus", 1);
  RunResult bogus = RunZa32({"play", "kit.json", "pattern.json"}, dir.path());
  RunResult overridden = RunZa32({"play", "kit.json", "pattern.json", "--null"}, dir.path());
  if (given)
    setenv("ZA32_AUDIO", kept.c_str(), 1);
  else
    unsetenv("ZA32_AUDIO");
  EXPECT_EQ(rate.status, 0) << rate.err;
  EXPECT_NE(rate.out.find("the null clock, not a sound card"), std::string::npos) << rate.out;
  EXPECT_EQ(bogus.status, 1);
  EXPECT_NE(bogus.err.find("ZA32_AUDIO=bogus: unknown output"), std::string::npos) << bogus.err;
  EXPECT_EQ(overridden.status, 0) << overridden.err;
}

TEST_F(FileSafety, UsageMistakesSayWhatIsWrong) {
  RunResult unknown = RunZa32({"dance"}, dir.path());
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown command 'dance'"), std::string::npos) << unknown.err;
  RunResult notANumber = RunZa32({"audition", "a.wav", "--seconds", "nan"}, dir.path());
  EXPECT_EQ(notANumber.status, 2);
  EXPECT_NE(notANumber.err.find("must be a number from 0 to 3600 (got nan)"), std::string::npos)
      << notANumber.err;
}

} // namespace
