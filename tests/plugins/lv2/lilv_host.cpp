#include "lilv_host.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstring>

namespace fs = std::filesystem;

namespace {
constexpr uint32_t kKindMidi = 1, kKindKit = 2, kKindRaw = 3;
constexpr size_t kAtomBufferBytes = 65536;
} // namespace

LilvHost::LilvHost() {
  world_ = lilv_world_new();
  std::string uri = "file://" + std::string(ZA32_LV2_BUNDLE) + "/";
  LilvNode* bundle = lilv_new_uri(world_, uri.c_str());
  lilv_world_load_specifications(world_);
  lilv_world_load_plugin_classes(world_);
  lilv_world_load_bundle(world_, bundle);
  lilv_node_free(bundle);
  map_ = {this, MapUri};
  unmap_ = {this, UnmapUri};
  logFeature_ = {this, Printf, VPrintf};
}

LilvHost::~LilvHost() {
  lilv_world_free(world_);
}

const LilvPlugin* LilvHost::plugin(const std::string& uri) const {
  LilvNode* node = lilv_new_uri(world_, uri.c_str());
  const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
  lilv_node_free(node);
  return found;
}

LV2_URID LilvHost::Map(const std::string& uri) {
  std::lock_guard<std::mutex> lock(mapMutex_);
  auto it = ids_.find(uri);
  if (it != ids_.end())
    return it->second;
  uris_.push_back(std::make_unique<std::string>(uri));
  LV2_URID id = static_cast<LV2_URID>(uris_.size());
  ids_[uri] = id;
  return id;
}

const char* LilvHost::Unmap(LV2_URID urid) {
  std::lock_guard<std::mutex> lock(mapMutex_);
  return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1]->c_str() : nullptr;
}

LV2_URID LilvHost::MapUri(LV2_URID_Map_Handle handle, const char* uri) {
  return static_cast<LilvHost*>(handle)->Map(uri);
}

const char* LilvHost::UnmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
  return static_cast<LilvHost*>(handle)->Unmap(urid);
}

int LilvHost::Printf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = VPrintf(handle, type, format, args);
  va_end(args);
  return n;
}

int LilvHost::VPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args) {
  char line[4096];
  int n = std::vsnprintf(line, sizeof line, format, args);
  auto* host = static_cast<LilvHost*>(handle);
  std::lock_guard<std::mutex> lock(host->logMutex_);
  host->log_.push_back(line);
  return n;
}

std::vector<std::string> LilvHost::LogLines() {
  std::lock_guard<std::mutex> lock(logMutex_);
  return log_;
}

HostedPlugin::HostedPlugin(LilvHost& host, const std::string& uri, double rate, uint32_t maxBlock,
                           bool synchronousWorker)
    : host_(host), maxBlock_(maxBlock), synchronous_(synchronousWorker), rate_(rate),
      blockLength_(maxBlock) {
  midiEvent_ = host.Map(LV2_MIDI__MidiEvent);
  atomPath_ = host.Map(LV2_ATOM__Path);
  atomObject_ = host.Map(LV2_ATOM__Object);
  atomUrid_ = host.Map(LV2_ATOM__URID);
  atomString_ = host.Map(LV2_ATOM__String);
  patchSet_ = host.Map(LV2_PATCH__Set);
  patchProperty_ = host.Map(LV2_PATCH__property);
  patchValue_ = host.Map(LV2_PATCH__value);
  kit_ = host.Map("urn:zandoria:za32#kit");
  error_ = host.Map("urn:zandoria:za32#error");
  lv2_atom_forge_init(&forge_, host.map());

  plugin_ = host.plugin(uri);
  if (!plugin_)
    return;
  schedule_ = {this, Schedule};
  LV2_URID atomInt = host.Map(LV2_ATOM__Int);
  options_[0] = {LV2_OPTIONS_INSTANCE, 0,       host.Map(LV2_BUF_SIZE__maxBlockLength),
                 sizeof(uint32_t),     atomInt, &blockLength_};
  options_[1] = {LV2_OPTIONS_INSTANCE, 0,       host.Map(LV2_BUF_SIZE__nominalBlockLength),
                 sizeof(uint32_t),     atomInt, &blockLength_};
  options_[2] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
  featureStore_ = {{LV2_URID__map, host.map()},       {LV2_URID__unmap, host.unmap()},
                   {LV2_LOG__log, &host.logFeature_}, {LV2_WORKER__schedule, &schedule_},
                   {LV2_OPTIONS__options, options_},  {LV2_BUF_SIZE__boundedBlockLength, nullptr}};
  for (const LV2_Feature& feature : featureStore_)
    features_.push_back(&feature);
  features_.push_back(nullptr);

  if (!synchronous_)
    workerThread_ = std::thread([this] { WorkerLoop(); });
  instance_ = lilv_plugin_instantiate(plugin_, rate, features_.data());
  if (!instance_)
    return;
  worker_ = static_cast<const LV2_Worker_Interface*>(
      lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));

  control_.assign(kAtomBufferBytes / 8, 0);
  notify_.assign(kAtomBufferBytes / 8, 0);
  uint32_t ports = lilv_plugin_get_num_ports(plugin_);
  pairs_ = (ports - 3) / 2;
  out_.assign(2 * pairs_, std::vector<float>(maxBlock, 0.0f));
  auto index = [&](const std::string& symbol) {
    LilvNode* node = lilv_new_string(host_.world(), symbol.c_str());
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin_, node);
    lilv_node_free(node);
    if (!port)
      missingPort_ = true;
    return port ? lilv_port_get_index(plugin_, port) : 0;
  };
  lilv_instance_connect_port(instance_, index("control"), control_.data());
  lilv_instance_connect_port(instance_, index("notify"), notify_.data());
  lilv_instance_connect_port(instance_, index("freewheel"), &freewheel_);
  for (unsigned p = 0; p < pairs_; ++p) {
    std::string prefix = pairs_ == 1 ? "out_" : "out_" + std::to_string(p + 1) + "_";
    lilv_instance_connect_port(instance_, index(prefix + "left"), out_[2 * p].data());
    lilv_instance_connect_port(instance_, index(prefix + "right"), out_[2 * p + 1].data());
  }
  lilv_instance_activate(instance_);
}

HostedPlugin::~HostedPlugin() {
  {
    std::lock_guard<std::mutex> lock(workMutex_);
    stopping_ = true;
  }
  workReady_.notify_all();
  if (workerThread_.joinable())
    workerThread_.join();
  if (instance_) {
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
  }
}

void HostedPlugin::Midi(uint32_t frame, std::vector<uint8_t> bytes) {
  pending_.push_back({frame, kKindMidi, std::string(bytes.begin(), bytes.end())});
}

void HostedPlugin::SetKit(uint32_t frame, const std::string& path) {
  pending_.push_back({frame, kKindKit, path});
}

void HostedPlugin::Raw(uint32_t frame, uint32_t type, const std::string& body) {
  std::string data(sizeof type, '\0');
  std::memcpy(data.data(), &type, sizeof type);
  pending_.push_back({frame, kKindRaw, data + body});
}

void HostedPlugin::Run(uint32_t frames) {
  std::stable_sort(pending_.begin(), pending_.end(),
                   [](const Pending& a, const Pending& b) { return a.frame < b.frame; });
  lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(control_.data()), kAtomBufferBytes);
  LV2_Atom_Forge_Frame sequence;
  lv2_atom_forge_sequence_head(&forge_, &sequence, 0);
  for (const Pending& p : pending_) {
    lv2_atom_forge_frame_time(&forge_, p.frame);
    if (p.type == kKindMidi) {
      lv2_atom_forge_atom(&forge_, static_cast<uint32_t>(p.body.size()), midiEvent_);
      lv2_atom_forge_write(&forge_, p.body.data(), static_cast<uint32_t>(p.body.size()));
      continue;
    }
    LV2_Atom_Forge_Frame object;
    lv2_atom_forge_object(&forge_, &object, 0, patchSet_);
    lv2_atom_forge_key(&forge_, patchProperty_);
    lv2_atom_forge_urid(&forge_, kit_);
    lv2_atom_forge_key(&forge_, patchValue_);
    if (p.type == kKindKit) {
      lv2_atom_forge_path(&forge_, p.body.data(), static_cast<uint32_t>(p.body.size()));
    } else {
      uint32_t type;
      std::memcpy(&type, p.body.data(), sizeof type);
      lv2_atom_forge_atom(&forge_, static_cast<uint32_t>(p.body.size() - sizeof type), type);
      lv2_atom_forge_write(&forge_, p.body.data() + sizeof type,
                           static_cast<uint32_t>(p.body.size() - sizeof type));
    }
    lv2_atom_forge_pop(&forge_, &object);
  }
  lv2_atom_forge_pop(&forge_, &sequence);
  pending_.clear();

  auto* notify = reinterpret_cast<LV2_Atom_Sequence*>(notify_.data());
  notify->atom.type = 0;
  notify->atom.size = kAtomBufferBytes - sizeof(LV2_Atom);
  ProbeBegin();
  lilv_instance_run(instance_, frames);
  ProbeEnd();
  ReadNotify();
  DeliverResponses();
}

void HostedPlugin::ReadNotify() {
  const auto* notify = reinterpret_cast<const LV2_Atom_Sequence*>(notify_.data());
  if (notify->atom.type == 0)
    return;
  LV2_ATOM_SEQUENCE_FOREACH(notify, event) {
    if (event->body.type != atomObject_)
      continue;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, patchProperty_, &property, patchValue_, &value, 0);
    if (object->body.otype != patchSet_ || !property || !value || property->type != atomUrid_)
      continue;
    const char* name = host_.Unmap(reinterpret_cast<const LV2_Atom_URID*>(property)->body);
    std::string text(reinterpret_cast<const char*>(value + 1),
                     strnlen(reinterpret_cast<const char*>(value + 1), value->size));
    notes_.emplace_back(name ? name : "", text);
  }
}

bool HostedPlugin::WaitForKit(const std::string& path, double seconds, bool stopAtError) {
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  size_t seen = notes_.size();
  while (std::chrono::steady_clock::now() < until) {
    Run(64);
    for (; seen < notes_.size(); ++seen) {
      const auto& [property, value] = notes_[seen];
      if (property == "urn:zandoria:za32#kit" && value == path)
        return true;
      if (property == "urn:zandoria:za32#error" && stopAtError)
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

std::vector<std::pair<std::string, std::string>> HostedPlugin::TakeNotes() {
  auto notes = std::move(notes_);
  notes_.clear();
  return notes;
}

LilvState* HostedPlugin::Save(const fs::path& directory) {
  fs::create_directories(directory);
  std::string dir = directory.string();
  LilvState* state = lilv_state_new_from_instance(
      plugin_, instance_, host_.map(), nullptr, dir.c_str(), dir.c_str(), dir.c_str(),
      [](const char*, void*, uint32_t* size, uint32_t* type) -> const void* {
        *size = 0;
        *type = 0;
        return nullptr;
      },
      this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_.data());
  if (state)
    lilv_state_save(host_.world(), host_.map(), host_.unmap(), state, nullptr, dir.c_str(),
                    "state.ttl");
  return state;
}

void HostedPlugin::Restore(const LilvState* state) {
  lilv_state_restore(state, instance_, nullptr, nullptr, 0, features_.data());
}

LV2_Worker_Status HostedPlugin::Schedule(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                         const void* data) {
  auto* self = static_cast<HostedPlugin*>(handle);
  // The host's own code, not the plugin's: not counted by the real-time probe.
  bool counting = RtProbePause();
  LV2_Worker_Status status = LV2_WORKER_SUCCESS;
  if (self->synchronous_) {
    status =
        self->worker_->work(lilv_instance_get_handle(self->instance_), Respond, self, size, data);
  } else {
    {
      std::lock_guard<std::mutex> lock(self->workMutex_);
      self->requests_.emplace_back(static_cast<const char*>(data), size);
    }
    self->workReady_.notify_one();
  }
  RtProbeResume(counting);
  return status;
}

LV2_Worker_Status HostedPlugin::Respond(LV2_Worker_Respond_Handle handle, uint32_t size,
                                        const void* data) {
  auto* self = static_cast<HostedPlugin*>(handle);
  if (self->synchronous_)
    return self->worker_->work_response(lilv_instance_get_handle(self->instance_), size, data);
  std::lock_guard<std::mutex> lock(self->workMutex_);
  self->responses_.emplace_back(static_cast<const char*>(data), size);
  return LV2_WORKER_SUCCESS;
}

void HostedPlugin::WorkerLoop() {
  std::unique_lock<std::mutex> lock(workMutex_);
  for (;;) {
    workReady_.wait(lock, [&] { return stopping_ || !requests_.empty(); });
    if (requests_.empty())
      return; // stopping, with nothing left to do
    std::string request = std::move(requests_.front());
    requests_.pop_front();
    lock.unlock();
    worker_->work(lilv_instance_get_handle(instance_), Respond, this,
                  static_cast<uint32_t>(request.size()), request.data());
    lock.lock();
  }
}

void HostedPlugin::DeliverResponses() {
  std::deque<std::string> responses;
  {
    std::lock_guard<std::mutex> lock(workMutex_);
    responses.swap(responses_);
  }
  for (const std::string& response : responses) {
    ProbeBegin();
    worker_->work_response(lilv_instance_get_handle(instance_),
                           static_cast<uint32_t>(response.size()), response.data());
    ProbeEnd();
  }
}

void HostedPlugin::ProbeBegin() {
  if (probing_)
    RtProbeBegin();
}

void HostedPlugin::ProbeEnd() {
  if (!probing_)
    return;
  RtCounts counts = RtProbeEnd();
  probed_.allocations += counts.allocations;
  probed_.opens += counts.opens;
  probed_.locks += counts.locks;
  probed_.waits += counts.waits;
}
