// A small LV2 host over lilv, for the plugin's tests: it loads the build tree's bundle,
// gives the features jalv and Ardour give (urid map and unmap, a worker on its own thread,
// log, options), runs an instance in blocks with MIDI and patch messages at frames,
// collects what comes back on `notify`, and saves and restores state through lilv.
#pragma once

#include "rt_probe.h"

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LilvHost {
public:
  LilvHost(); // loads ZA32_LV2_BUNDLE
  ~LilvHost();
  LilvHost(const LilvHost&) = delete;
  LilvHost& operator=(const LilvHost&) = delete;

  LilvWorld* world() const { return world_; }
  const LilvPlugin* plugin(const std::string& uri) const;
  LV2_URID Map(const std::string& uri);
  const char* Unmap(LV2_URID urid);
  LV2_URID_Map* map() { return &map_; }
  LV2_URID_Unmap* unmap() { return &unmap_; }

  // Log lines of every instance, and how many.
  std::vector<std::string> LogLines();

private:
  static LV2_URID MapUri(LV2_URID_Map_Handle handle, const char* uri);
  static const char* UnmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid);
  static int Printf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...);
  static int VPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args);
  friend class HostedPlugin;

  LilvWorld* world_ = nullptr;
  std::mutex mapMutex_;
  std::map<std::string, LV2_URID> ids_;
  std::vector<std::unique_ptr<std::string>> uris_;
  LV2_URID_Map map_;
  LV2_URID_Unmap unmap_;
  std::mutex logMutex_;
  std::vector<std::string> log_;
  LV2_Log_Log logFeature_;
};

// One plugin instance and its buffers. Its worker runs on a thread of its own, as jalv's
// does; answers are handed to the plugin after the next block (or, with `synchronousWorker`,
// at once, inside schedule_work, as a host without a worker thread does).
class HostedPlugin {
public:
  HostedPlugin(LilvHost& host, const std::string& uri, double rate, uint32_t maxBlock = 4096,
               bool synchronousWorker = false);
  ~HostedPlugin();
  HostedPlugin(const HostedPlugin&) = delete;
  HostedPlugin& operator=(const HostedPlugin&) = delete;

  bool ok() const { return instance_ != nullptr && !missingPort_; }
  LilvInstance* instance() const { return instance_; }
  unsigned pairs() const { return pairs_; }

  // The freewheel port: 1 while the host bounces faster than real time.
  void Freewheel(bool on) { freewheel_ = on ? 1.0f : 0.0f; }

  // Queued for the next block, at `frame` inside it.
  void Midi(uint32_t frame, std::vector<uint8_t> bytes);
  void SetKit(uint32_t frame, const std::string& path);
  // A patch:Set of the kit whose value is any atom, for hostile input.
  void Raw(uint32_t frame, uint32_t type, const std::string& body);

  // Runs one block; the outputs hold it after.
  void Run(uint32_t frames);
  const std::vector<float>& Left(unsigned pair = 0) const { return out_[2 * pair]; }
  const std::vector<float>& Right(unsigned pair = 0) const { return out_[2 * pair + 1]; }

  // Runs silent blocks until the plugin reports `path` (a patch:Set of the kit) or, with
  // `stopAtError`, an error, up to `seconds`. True when the kit was reported.
  bool WaitForKit(const std::string& path, double seconds = 20, bool stopAtError = true);
  // What `notify` said: each patch:Set as property URI and value text.
  std::vector<std::pair<std::string, std::string>> TakeNotes();

  // Counts what the plugin's run and work_response do on the calling thread (rt_probe.h).
  void Probe(bool on) { probing_ = on; }
  const RtCounts& probed() const { return probed_; }

  // Saves state into `directory` (lilv, links folder set as jalv sets it), and restores.
  LilvState* Save(const std::filesystem::path& directory);
  void Restore(const LilvState* state);

private:
  static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                    const void* data);
  static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, uint32_t size,
                                   const void* data);
  void WorkerLoop();
  void DeliverResponses();
  void ReadNotify();

  LilvHost& host_;
  const LilvPlugin* plugin_ = nullptr;
  LilvInstance* instance_ = nullptr;
  const LV2_Worker_Interface* worker_ = nullptr;
  unsigned pairs_ = 1;
  uint32_t maxBlock_;
  bool synchronous_;
  bool missingPort_ = false;
  double rate_;

  LV2_Worker_Schedule schedule_;
  LV2_Options_Option options_[3];
  uint32_t blockLength_;
  std::vector<LV2_Feature> featureStore_;
  std::vector<const LV2_Feature*> features_;

  std::vector<uint64_t> control_, notify_; // 8-byte aligned atom buffers
  std::vector<std::vector<float>> out_;
  float freewheel_ = 0;
  LV2_Atom_Forge forge_;
  struct Pending {
    uint32_t frame;
    uint32_t type;
    std::string body;
  };
  std::vector<Pending> pending_;
  std::vector<std::pair<std::string, std::string>> notes_;
  bool probing_ = false;
  RtCounts probed_;
  void ProbeBegin();
  void ProbeEnd();

  std::mutex workMutex_;
  std::condition_variable workReady_;
  std::deque<std::string> requests_, responses_;
  bool stopping_ = false;
  std::thread workerThread_;

  LV2_URID midiEvent_, atomPath_, atomObject_, atomUrid_, atomString_, patchSet_, patchProperty_,
      patchValue_, kit_, error_;
};
