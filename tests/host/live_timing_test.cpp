// Live play lands every hit on its frame: a click track played through `za32 play` in
// real time and recorded comes out with the intervals it was written with, first and
// last hit included, on the null output and on a real JACK server.
#include "run_za32.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// 105 beats a minute, 4 steps a beat: 6,300 frames a step, a click every other step.
constexpr size_t kClickInterval = 12600;
constexpr size_t kClicks = 8;

// A kit of one 32-frame click and a pattern that ends on its last click.
void WriteClickTrack(const TempDir& dir) {
  WriteWav(dir.path() / "click.wav", 44100, 1, std::vector<int16_t>(32, 16000));
  WriteText(dir.path() / "kit.json",
            R"({"keys": [{"sample": "click.wav", "key": 1, "velocity_sense": false}]})");
  WriteText(dir.path() / "pattern.json",
            R"({"tempo": 105, "steps": 15, "tracks": {"1": "x.x.x.x.x.x.x.x"}})");
}

// Frames at which sound starts after silence.
std::vector<size_t> Onsets(const Wav& wav) {
  std::vector<size_t> onsets;
  bool silent = true;
  for (size_t frame = 0; frame < wav.frames(); ++frame) {
    const bool sounding = wav.samples[2 * frame] != 0 || wav.samples[2 * frame + 1] != 0;
    if (sounding && silent)
      onsets.push_back(frame);
    silent = !sounding;
  }
  return onsets;
}

void ExpectClickTrack(const std::filesystem::path& recording) {
  const Wav wav = ReadWav(recording);
  const std::vector<size_t> onsets = Onsets(wav);
  ASSERT_EQ(onsets.size(), kClicks);
  for (size_t i = 1; i < onsets.size(); ++i)
    EXPECT_EQ(onsets[i] - onsets[i - 1], kClickInterval) << "click " << i;
}

TEST(LiveTimingRealTime, ClickTrackOnTheNullOutputIsExactToTheFrame) {
  TempDir dir;
  WriteClickTrack(dir);
  RunResult run = RunZa32({"play", "kit.json", "pattern.json", "--audio", "null", "--period", "128",
                           "--record", "played.wav"},
                          dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectClickTrack(dir.path() / "played.wav");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "played.wav.part"));
}

// A JACK server of the test's own, on the dummy driver, under a private name.
class JackServer {
public:
  JackServer() : name_("za32-test-" + std::to_string(getpid())) {
    const std::string driver = "-r44100";
    const char* args[] = {"jackd", "-n",           name_.c_str(), "--no-realtime", "-d",
                          "dummy", driver.c_str(), "-p128",       nullptr};
    if (posix_spawnp(&pid_, "jackd", nullptr, nullptr, const_cast<char**>(args), environ) != 0) {
      pid_ = 0;
      return;
    }
    // Ready once a client can join it.
    for (int attempt = 0; attempt < 100 && !ready_; ++attempt) {
      jack_status_t status;
      if (jack_client_t* probe =
              jack_client_open("za32-probe", JackOptions(JackNoStartServer | JackServerName),
                               &status, name_.c_str())) {
        jack_client_close(probe);
        ready_ = true;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
  }
  ~JackServer() {
    if (pid_ <= 0)
      return;
    kill(pid_, SIGTERM);
    int status;
    waitpid(pid_, &status, 0);
  }
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool ready() const { return ready_; }
  const std::string& name() const { return name_; }

private:
  std::string name_;
  pid_t pid_ = 0;
  bool ready_ = false;
};

TEST(LiveTimingRealTime, ClickTrackOnJackIsExactToTheFrame) {
  JackServer server;
  if (!server.ready())
    GTEST_SKIP() << "no JACK server could be started (jackd -d dummy)";
  setenv("JACK_DEFAULT_SERVER", server.name().c_str(), 1);
  TempDir dir;
  WriteClickTrack(dir);
  RunResult run =
      RunZa32({"play", "kit.json", "pattern.json", "--audio", "jack", "--record", "played.wav"},
              dir.path());
  unsetenv("JACK_DEFAULT_SERVER");
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectClickTrack(dir.path() / "played.wav");
}

} // namespace
