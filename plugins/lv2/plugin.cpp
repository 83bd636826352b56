#include "plugins/lv2/plugin.h"

#include "plugins/lv2/atom_reader.h"
#include "plugins/lv2/bundled_engine.h"
#include "plugins/lv2/kit_source.h"
#include "plugins/lv2/midnam.h"

#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace za32::lv2 {

namespace {

constexpr const char* kMidnamUpdateUri = "http://ardour.org/lv2/midnam#update";

// How long a kit let go may ring out under the new one before it is freed.
constexpr uint32_t kRetireSeconds = 2;

template <typename T> T* FindFeature(const LV2_Feature* const* features, const char* uri) {
  for (size_t i = 0; features && features[i]; ++i)
    if (features[i]->URI && std::strcmp(features[i]->URI, uri) == 0)
      return static_cast<T*>(features[i]->data);
  return nullptr;
}

char* Copied(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy)
    std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// The host's path mapping for one save or restore: the call's own features, else those
// given at instantiation.
struct PathMapping {
  const LV2_State_Map_Path* map;
  const LV2_State_Free_Path* free;
  // Gives back a path the mapping returned.
  void Release(char* path) const {
    if (free)
      free->free_path(free->handle, path);
    else
      std::free(path);
  }
};

PathMapping MappingFor(const LV2_Feature* const* features, const LV2_State_Map_Path* map,
                       const LV2_State_Free_Path* free) {
  const auto* callMap = FindFeature<const LV2_State_Map_Path>(features, LV2_STATE__mapPath);
  const auto* callFree = FindFeature<const LV2_State_Free_Path>(features, LV2_STATE__freePath);
  return {callMap ? callMap : map, callFree ? callFree : free};
}

} // namespace

// What the audio thread hands the worker: a kind, then a path or a pointer.
struct Plugin::LoadRequest {
  WorkKind kind;
  uint32_t generation;
  char path[kMaxPath];
};

struct Plugin::Response {
  ResponseKind kind;
  uint32_t generation;
  LoadedKit* kit;
  uint32_t textLength;
  char text[kMaxErrorText];
};

namespace {

struct KitMessage {
  uint32_t kind;
  uint32_t unused;
  LoadedKit* kit;
};

struct ReportMessage {
  uint32_t kind;
  uint32_t unused;
  uint64_t badEvents;
};

} // namespace

Plugin::Plugin(LV2_URID_Map* map, uint32_t rate, unsigned buses)
    : uris_(map), rate_(rate), buses_(buses) {
  char model[64];
  std::snprintf(model, sizeof model, "ZA32:%p", static_cast<void*>(this));
  model_ = model;
  lv2_atom_forge_init(&forge_, map);
}

std::unique_ptr<Plugin> Plugin::Create(double rate, const char* bundlePath, unsigned buses,
                                       const LV2_Feature* const* features, std::string* why) {
  auto* map = FindFeature<LV2_URID_Map>(features, LV2_URID__map);
  auto* schedule = FindFeature<LV2_Worker_Schedule>(features, LV2_WORKER__schedule);
  if (!map || !schedule) {
    *why = map ? "the host offers no worker (work:schedule)" : "the host offers no urid:map";
    return nullptr;
  }
  double rounded = std::round(rate);
  if (!(rounded >= kMinInstanceRate && rounded <= kMaxInstanceRate)) {
    *why = "the engine plays at 22050 to 192000 Hz, not at " + std::to_string(rate) + " Hz";
    return nullptr;
  }
  if (!UseBundledEngine(bundlePath, why))
    return nullptr;
  std::unique_ptr<Plugin> plugin(new Plugin(map, static_cast<uint32_t>(rounded), buses));
  plugin->schedule_ = schedule;
  plugin->log_ = FindFeature<LV2_Log_Log>(features, LV2_LOG__log);
  if (plugin->log_) {
    plugin->logError_ = map->map(map->handle, LV2_LOG__Error);
    plugin->logWarning_ = map->map(map->handle, LV2_LOG__Warning);
  }
  plugin->mapPath_ = FindFeature<const LV2_State_Map_Path>(features, LV2_STATE__mapPath);
  plugin->freePath_ = FindFeature<const LV2_State_Free_Path>(features, LV2_STATE__freePath);
  plugin->midnamUpdate_ = FindFeature<MidnamUpdate>(features, kMidnamUpdateUri);
  plugin->midnam_ = MidnamDocument(Kit{}, plugin->model_);
  return plugin;
}

Plugin::~Plugin() {
  // Everything made is in kept_, whatever the host did with the worker's messages.
  std::lock_guard<std::mutex> lock(keptMutex_);
  kept_.clear();
}

void Plugin::Connect(uint32_t port, void* data) {
  uint32_t outputs = 2 * buses_;
  if (port == 0)
    control_ = static_cast<const LV2_Atom_Sequence*>(data);
  else if (port == 1)
    notify_ = static_cast<LV2_Atom_Sequence*>(data);
  else if (port < 2 + outputs)
    outputs_[port - 2] = static_cast<float*>(data);
  else if (port == 2 + outputs)
    freewheel_ = static_cast<const float*>(data);
}

void Plugin::Activate() {
  if (kit_)
    kit_->player->AllNotesOff(0);
  notifyKit_ = kit_ != nullptr;
}

void Plugin::Run(uint32_t frames) {
  for (unsigned i = 0; i < 2 * buses_; ++i)
    if (outputs_[i])
      std::fill_n(outputs_[i], frames, 0.0f);

  lastFrame_ = 0;
  ForEachEvent(control_,
               [&](int64_t time, const LV2_Atom* atom) { HandleEvent(time, atom, frames); });

  BusBuffers out;
  out.buses = buses_;
  for (unsigned b = 0; b < buses_; ++b) {
    out.left[b] = outputs_[2 * b];
    out.right[b] = outputs_[2 * b + 1];
  }
  if (kit_)
    kit_->player->Render(frames, out);
  if (retiring_) {
    retiring_->player->Render(frames, out);
    if (retiring_->player->SoundingVoices() == 0 || retiringFrames_ <= frames) {
      LetGo(retiring_);
      retiring_ = nullptr;
    } else {
      retiringFrames_ -= frames;
    }
  }

  Notify();

  framesSinceReport_ += frames;
  if (badEvents_ > 0 && framesSinceReport_ >= rate_) {
    ReportMessage report{static_cast<uint32_t>(WorkKind::Report), 0, badEvents_};
    if (schedule_->schedule_work(schedule_->handle, sizeof report, &report) == LV2_WORKER_SUCCESS)
      badEvents_ = 0;
    framesSinceReport_ = 0;
  }
  if (midnamChanged_ && midnamUpdate_)
    midnamUpdate_->update(midnamUpdate_->handle);
  midnamChanged_ = false;

  // Last, so that a host whose worker answers at once still swaps at a block boundary.
  if (pending_ && !loading_)
    SendLoad(pendingPath_.data(), pendingLength_);
}

void Plugin::HandleEvent(int64_t time, const LV2_Atom* atom, uint32_t blockFrames) {
  // Events out of the block or out of order act at the nearest frame that keeps the order.
  int64_t last = blockFrames > 0 ? int64_t(blockFrames) - 1 : 0;
  uint32_t frame = static_cast<uint32_t>(std::clamp<int64_t>(time, lastFrame_, last));
  lastFrame_ = frame;

  if (atom->type == uris_.midiEvent) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(atom + 1);
    if (!IsChannelMessage(bytes, atom->size)) {
      // System messages are MIDI too, and play nothing; anything else is damage.
      if (atom->size == 0 || bytes[0] < 0xF0)
        ++badEvents_;
      return;
    }
    if (kit_)
      kit_->player->Midi(frame, bytes, atom->size, -1);
    bool allOff = (bytes[0] & 0xF0) == 0xB0 && (bytes[1] == 120 || bytes[1] == 123);
    if (allOff && retiring_)
      retiring_->player->AllNotesOff(frame);
    return;
  }

  if ((atom->type != uris_.atomObject && atom->type != uris_.atomBlank) ||
      atom->size < sizeof(LV2_Atom_Object_Body)) {
    ++badEvents_;
    return;
  }
  const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
  const LV2_Atom* property = ObjectValue(object, uris_.patchProperty);
  LV2_URID key = 0;
  if (property && property->type == uris_.atomUrid && property->size >= sizeof(LV2_URID))
    key = reinterpret_cast<const LV2_Atom_URID*>(property)->body;

  if (object->body.otype == uris_.patchSet && key == uris_.kit) {
    size_t length = 0;
    const char* path =
        AtomText(ObjectValue(object, uris_.patchValue), uris_.atomString, uris_.atomPath, &length);
    if (!path || length >= kMaxPath) {
      ++badEvents_;
      return;
    }
    RequestLoad(path, length);
  } else if (object->body.otype == uris_.patchGet && (!property || key == uris_.kit)) {
    notifyKit_ = true;
  } else if (object->body.otype == uris_.patchGet && key == uris_.error) {
    notifyError_ = true;
  } else {
    ++badEvents_;
  }
}

void Plugin::RequestLoad(const char* path, size_t length) {
  // Only the newest request waits: a kit set many times while one loads loads once more.
  std::memcpy(pendingPath_.data(), path, length);
  pendingLength_ = length;
  pending_ = true;
}

void Plugin::SendLoad(const char* path, size_t length) {
  LoadRequest request;
  request.kind = WorkKind::Load;
  request.generation = ++generation_;
  std::memcpy(request.path, path, length);
  uint32_t size = static_cast<uint32_t>(offsetof(LoadRequest, path) + length);
  // Busy before asking: a host may answer within schedule_work.
  loading_ = true;
  pending_ = false;
  if (schedule_->schedule_work(schedule_->handle, size, &request) != LV2_WORKER_SUCCESS) {
    loading_ = false;
    pending_ = true; // the worker's queue is full: again next block
  }
}

void Plugin::LetGo(LoadedKit* kit) {
  KitMessage message{static_cast<uint32_t>(WorkKind::Free), 0, kit};
  // If the queue is full the kit stays kept, and goes with the instance.
  schedule_->schedule_work(schedule_->handle, sizeof message, &message);
}

void Plugin::Notify() {
  if (!notify_)
    return;
  uint32_t capacity = notify_->atom.size;
  lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(notify_), capacity);
  LV2_Atom_Forge_Frame sequence;
  if (!lv2_atom_forge_sequence_head(&forge_, &sequence, 0))
    return;
  if (notifyKit_ && kit_) {
    ForgeSet(uris_.kit, uris_.atomPath, kit_->path.c_str(), kit_->path.size());
  }
  notifyKit_ = false;
  if (notifyError_)
    ForgeSet(uris_.error, uris_.atomString, errorText_.data(), errorLength_);
  notifyError_ = false;
  lv2_atom_forge_pop(&forge_, &sequence);
}

void Plugin::ForgeSet(LV2_URID property, LV2_URID type, const char* text, size_t length) {
  LV2_Atom_Forge_Frame object;
  if (!lv2_atom_forge_frame_time(&forge_, 0) ||
      !lv2_atom_forge_object(&forge_, &object, 0, uris_.patchSet))
    return;
  lv2_atom_forge_key(&forge_, uris_.patchProperty);
  lv2_atom_forge_urid(&forge_, property);
  lv2_atom_forge_key(&forge_, uris_.patchValue);
  lv2_atom_forge_typed_string(&forge_, type, text, static_cast<uint32_t>(length));
  lv2_atom_forge_pop(&forge_, &object);
}

LV2_Worker_Status Plugin::Work(LV2_Worker_Respond_Function respond,
                               LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
  if (size < 2 * sizeof(uint32_t))
    return LV2_WORKER_ERR_UNKNOWN;
  uint32_t kind;
  std::memcpy(&kind, data, sizeof kind);
  if (kind == static_cast<uint32_t>(WorkKind::Free) && size == sizeof(KitMessage)) {
    KitMessage message;
    std::memcpy(&message, data, sizeof message);
    Drop(message.kit);
    return LV2_WORKER_SUCCESS;
  }
  if (kind == static_cast<uint32_t>(WorkKind::Report) && size == sizeof(ReportMessage)) {
    ReportMessage report;
    std::memcpy(&report, data, sizeof report);
    Log(logWarning_, "ZA32: ignored " + std::to_string(report.badEvents) +
                         " events on the control port that are neither MIDI channel messages "
                         "nor a kit's patch:Set or patch:Get");
    return LV2_WORKER_SUCCESS;
  }
  if (kind != static_cast<uint32_t>(WorkKind::Load) || size > sizeof(LoadRequest))
    return LV2_WORKER_ERR_UNKNOWN;

  const auto* request = static_cast<const LoadRequest*>(data);
  std::string path(request->path, size - offsetof(LoadRequest, path));
  std::string why;
  std::unique_ptr<LoadedKit> kit = LoadKit(path, &why);

  auto response = std::make_unique<Response>();
  response->generation = request->generation;
  response->kit = nullptr;
  response->textLength = 0;
  if (kit) {
    response->kind = ResponseKind::Loaded;
    {
      std::lock_guard<std::mutex> lock(infoMutex_);
      if (request->generation > restoredInfoAt_) {
        savedPath_ = kit->path;
        midnam_ = kit->midnam;
      }
    }
    response->kit = Keep(std::move(kit));
  } else {
    response->kind = ResponseKind::Failed;
    Log(logError_, "ZA32: " + why);
    response->textLength = static_cast<uint32_t>(std::min(why.size(), kMaxErrorText));
    std::memcpy(response->text, why.data(), response->textLength);
  }
  uint32_t responseSize = static_cast<uint32_t>(offsetof(Response, text) + response->textLength);
  if (respond(handle, responseSize, response.get()) != LV2_WORKER_SUCCESS) {
    Log(logError_, "ZA32: the host's worker took no answer for " + path);
    if (response->kit)
      Drop(response->kit);
    return LV2_WORKER_ERR_NO_SPACE;
  }
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Plugin::WorkResponse(uint32_t size, const void* data) {
  if (size < offsetof(Response, text) || size > sizeof(Response))
    return LV2_WORKER_ERR_UNKNOWN;
  Response response;
  std::memcpy(&response, data, size);
  loading_ = false;
  if (response.generation <= restoredAt_) {
    // Asked for before the state restored since; the restored kit stays.
    if (response.kit)
      LetGo(response.kit);
    return LV2_WORKER_SUCCESS;
  }
  if (response.kind == ResponseKind::Failed) {
    errorLength_ = std::min<size_t>(response.textLength, kMaxErrorText);
    std::memcpy(errorText_.data(), response.text, errorLength_);
    notifyError_ = true;
    return LV2_WORKER_SUCCESS;
  }
  if (retiring_)
    LetGo(retiring_);
  retiring_ = kit_;
  retiringFrames_ = uint64_t(kRetireSeconds) * rate_;
  kit_ = response.kit;
  notifyKit_ = true;
  midnamChanged_ = true;
  return LV2_WORKER_SUCCESS;
}

LV2_State_Status Plugin::Save(LV2_State_Store_Function store, LV2_State_Handle handle,
                              uint32_t flags, const LV2_Feature* const* features) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(infoMutex_);
    path = savedPath_;
  }
  if (path.empty())
    return LV2_STATE_SUCCESS;
  const PathMapping mapping = MappingFor(features, mapPath_, freePath_);
  char* abstract =
      mapping.map ? mapping.map->abstract_path(mapping.map->handle, path.c_str()) : Copied(path);
  if (!abstract)
    return LV2_STATE_ERR_UNKNOWN;
  LV2_State_Status status = store(handle, uris_.kit, abstract, std::strlen(abstract) + 1,
                                  uris_.atomPath, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
  if (mapping.map)
    mapping.Release(abstract);
  else
    std::free(abstract);
  return status;
}

LV2_State_Status Plugin::Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                                 uint32_t flags, const LV2_Feature* const* features) {
  size_t size = 0;
  uint32_t type = 0, valueFlags = 0;
  const auto* value =
      static_cast<const char*>(retrieve(handle, uris_.kit, &size, &type, &valueFlags));
  if (!value)
    return LV2_STATE_SUCCESS; // a state without a kit keeps the kit playing
  if ((type != uris_.atomPath && type != uris_.atomString) || size < 2 || size > kMaxPath ||
      value[size - 1] != '\0' || std::strlen(value) + 1 != size) {
    Log(logError_, "ZA32: the saved state's kit is not a path");
    return LV2_STATE_ERR_BAD_TYPE;
  }
  const PathMapping mapping = MappingFor(features, mapPath_, freePath_);
  std::string path = value;
  if (mapping.map) {
    if (char* absolute = mapping.map->absolute_path(mapping.map->handle, value)) {
      path = absolute;
      mapping.Release(absolute);
    }
  }

  // Loaded here, before returning, so that the first run after plays it.
  std::string why;
  std::unique_ptr<LoadedKit> kit = LoadKit(path, &why);
  uint32_t generation = ++generation_;
  restoredAt_ = generation;
  pending_ = false;
  if (!kit) {
    Log(logError_, "ZA32: " + why);
    errorLength_ = std::min(why.size(), kMaxErrorText);
    std::memcpy(errorText_.data(), why.data(), errorLength_);
    notifyError_ = true;
    // The session's kit is kept for the next save, though the old kit plays on.
    std::lock_guard<std::mutex> lock(infoMutex_);
    restoredInfoAt_ = generation;
    savedPath_ = path;
    return LV2_STATE_ERR_UNKNOWN;
  }
  {
    std::lock_guard<std::mutex> lock(infoMutex_);
    restoredInfoAt_ = generation;
    savedPath_ = kit->path;
    midnam_ = kit->midnam;
  }
  LoadedKit* restored = Keep(std::move(kit));
  if (retiring_)
    Drop(retiring_);
  if (kit_)
    Drop(kit_);
  retiring_ = nullptr;
  kit_ = restored;
  notifyKit_ = true;
  midnamChanged_ = true;
  return LV2_STATE_SUCCESS;
}

char* Plugin::Midnam() {
  std::lock_guard<std::mutex> lock(infoMutex_);
  return Copied(midnam_);
}

char* Plugin::Model() {
  return Copied(model_);
}

std::unique_ptr<LoadedKit> Plugin::LoadKit(const std::string& path, std::string* why) const {
  try {
    Kit kit = OpenKitSource(path);
    std::string reason;
    auto loaded = std::make_unique<LoadedKit>();
    loaded->player = KitPlayer::Load(kit, rate_, &reason);
    if (!loaded->player) {
      *why = path + ": " + reason;
      return nullptr;
    }
    loaded->path = path;
    loaded->midnam = MidnamDocument(kit, model_);
    return loaded;
  } catch (const std::exception& error) {
    *why = error.what();
  } catch (...) {
    *why = path + ": cannot be loaded";
  }
  return nullptr;
}

void Plugin::Log(LV2_URID type, const std::string& line) {
  uint64_t suppressed = 0;
  if (!limiter_.Allow(&suppressed))
    return;
  std::string text = line;
  if (suppressed > 0)
    text += " (" + std::to_string(suppressed) + " more messages held back)";
  if (log_)
    log_->printf(log_->handle, type, "%s\n", text.c_str());
  else
    std::fprintf(stderr, "%s\n", text.c_str());
}

LoadedKit* Plugin::Keep(std::unique_ptr<LoadedKit> kit) {
  LoadedKit* raw = kit.get();
  std::lock_guard<std::mutex> lock(keptMutex_);
  kept_.push_back(std::move(kit));
  return raw;
}

void Plugin::Drop(LoadedKit* kit) {
  std::unique_ptr<LoadedKit> gone;
  {
    std::lock_guard<std::mutex> lock(keptMutex_);
    auto it = std::find_if(kept_.begin(), kept_.end(),
                           [&](const std::unique_ptr<LoadedKit>& k) { return k.get() == kit; });
    if (it == kept_.end())
      return;
    gone = std::move(*it);
    kept_.erase(it);
  }
  // Freed outside the lock: closing engine instances takes time.
}

} // namespace za32::lv2
