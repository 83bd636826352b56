// One instance of the LV2 instrument: the kit it plays (a KitPlayer over engine instances),
// the kit being let go, and what crosses between the host's threads.
//
// Threads (LV2's threading classes):
// - audio: Run, WorkResponse, Activate, Deactivate. Takes no lock another thread holds for
//   long, allocates nothing, reads no file; swaps kits by pointer at a block boundary.
// - worker: Work. Reads kits, opens engine instances, frees kits the audio thread let go,
//   writes the log.
// - any other: Save and the midnam calls, concurrently with the audio thread; they read
//   the kit's path and names under `infoMutex_`, which only the worker and Restore write.
// - instantiation: Create, Restore, the destructor, alone with the instance.
#pragma once

#include "instance/kit_player.h"
#include "plugins/lv2/report_limiter.h"
#include "plugins/lv2/uris.h"

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace za32::lv2 {

// The midnam extension's host side, as Ardour declares it.
struct MidnamUpdate {
  void* handle;
  void (*update)(void* handle);
};

// A kit made ready by the worker: its player and what it was loaded from.
struct LoadedKit {
  std::unique_ptr<KitPlayer> player;
  std::string path;   // as the host named it
  std::string midnam; // its note names
};

class Plugin {
public:
  // A request with its path must fit the smallest worker queue of the usual hosts (jalv:
  // 4,096 bytes).
  static constexpr size_t kMaxPath = 3072;
  static constexpr size_t kMaxErrorText = 1024;

  // Null, with the reason, when a required feature is missing or the rate is not one the
  // engine instances play at.
  static std::unique_ptr<Plugin> Create(double rate, const char* bundlePath, unsigned buses,
                                        const LV2_Feature* const* features, std::string* why);
  ~Plugin();

  void Connect(uint32_t port, void* data);
  void Activate();
  void Run(uint32_t frames);

  LV2_Worker_Status Work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                         uint32_t size, const void* data);
  LV2_Worker_Status WorkResponse(uint32_t size, const void* data);

  LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t flags,
                        const LV2_Feature* const* features);
  LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                           uint32_t flags, const LV2_Feature* const* features);

  // Allocated with malloc, for the host to free.
  char* Midnam();
  char* Model();

  // Loads a kit as the worker does; for Restore, and the benchmarks. Null with the reason.
  std::unique_ptr<LoadedKit> LoadKit(const std::string& path, std::string* why) const;

private:
  Plugin(LV2_URID_Map* map, uint32_t rate, unsigned buses);

  enum class WorkKind : uint32_t { Load, Free, Report };
  enum class ResponseKind : uint32_t { Loaded, Failed };
  struct LoadRequest;
  struct Response;

  // Audio thread.
  void HandleEvent(int64_t frames, const LV2_Atom* atom, uint32_t blockFrames);
  void RequestLoad(const char* path, size_t length);
  void SendLoad(const char* path, size_t length);
  void LetGo(LoadedKit* kit);
  void Notify();
  void ForgeSet(LV2_URID property, LV2_URID type, const char* text, size_t length);

  // Worker and instantiation threads.
  void Log(LV2_URID type, const std::string& line);
  LoadedKit* Keep(std::unique_ptr<LoadedKit> kit);
  void Drop(LoadedKit* kit);
  void Publish(const LoadedKit& kit);

  Uris uris_;
  uint32_t rate_;
  unsigned buses_;
  std::string model_;
  LV2_Worker_Schedule* schedule_ = nullptr;
  LV2_Log_Log* log_ = nullptr;
  LV2_URID logError_ = 0, logWarning_ = 0;
  const LV2_State_Map_Path* mapPath_ = nullptr;
  const LV2_State_Free_Path* freePath_ = nullptr;
  MidnamUpdate* midnamUpdate_ = nullptr;
  ReportLimiter limiter_;
  LV2_Atom_Forge forge_;

  // Ports.
  const LV2_Atom_Sequence* control_ = nullptr;
  LV2_Atom_Sequence* notify_ = nullptr;
  std::array<float*, 2 * kMaxBuses> outputs_{};
  const float* freewheel_ = nullptr;

  // Audio thread's own.
  LoadedKit* kit_ = nullptr;      // playing
  LoadedKit* retiring_ = nullptr; // the kit before, ringing out
  uint64_t retiringFrames_ = 0;   // frames it may still ring
  bool loading_ = false;          // a load is with the worker
  bool pending_ = false;          // and another waits for it
  std::array<char, kMaxPath> pendingPath_{};
  size_t pendingLength_ = 0;
  uint32_t generation_ = 0;  // of the newest request
  uint32_t restoredAt_ = 0;  // loads asked for before a restore are stale
  bool notifyKit_ = false;   // tell the host the kit now playing
  bool notifyError_ = false; // and why the last one did not load
  std::array<char, kMaxErrorText> errorText_{};
  size_t errorLength_ = 0;
  bool midnamChanged_ = false;
  int64_t lastFrame_ = 0;  // of the last event this block
  uint64_t badEvents_ = 0; // ignored since the last report
  uint64_t framesSinceReport_ = 0;

  // Every kit made and not yet freed, so that none outlives the instance.
  std::mutex keptMutex_;
  std::vector<std::unique_ptr<LoadedKit>> kept_;

  // What Save and the midnam calls read: the kit asked for last and its note names.
  std::mutex infoMutex_;
  uint32_t restoredInfoAt_ = 0; // restoredAt_, for the worker
  std::string savedPath_;
  std::string midnam_;
};

} // namespace za32::lv2
