#include "instance/kit_player.h"

#include "kit/kit_error.h"

#include <algorithm>

namespace za32 {
namespace {

constexpr size_t kKeyCodes = 65536;

size_t InstancesFor(const Kit& kit) {
  return std::max<size_t>(1, (kit.keys.size() + ZA32_KEYS - 1) / ZA32_KEYS);
}

} // namespace

KitPlayer::KitPlayer(const Kit& kit, uint32_t rate)
    : kit_(kit), rate_(rate), instanceOfCode_(kKeyCodes, -1), gate_(kit) {}

KitPlayer::~KitPlayer() = default;

std::unique_ptr<KitPlayer> KitPlayer::Load(const Kit& kit, uint32_t rate, std::string* why) {
  if (kit.keys.size() > kMaxKitKeys) {
    *why = kit.source + ": has " + std::to_string(kit.keys.size()) + " keys; a kit has at most " +
           std::to_string(kMaxKitKeys);
    return nullptr;
  }
  std::unique_ptr<KitPlayer> player(new KitPlayer(kit, rate));
  const size_t count = InstancesFor(kit);
  for (size_t i = 0; i < count; ++i) {
    std::unique_ptr<EngineInstance> instance = EngineInstance::Open(rate, why);
    if (!instance)
      return nullptr;
    InstanceKeys keys;
    try {
      keys.records = ToKeyRecords(kit, SampleNames::Native, i * ZA32_KEYS);
    } catch (const KitError& error) {
      *why = error.what();
      return nullptr;
    }
    for (size_t k = 0; k < ZA32_KEYS && i * ZA32_KEYS + k < kit.keys.size(); ++k)
      keys.buses[k] = static_cast<uint8_t>(kit.keys[i * ZA32_KEYS + k].output - 1);
    std::string failed;
    if (!instance->InstallKeys(keys, &failed)) {
      *why = kit.source + ": " + failed;
      return nullptr;
    }
    player->instances_.push_back(std::move(instance));
    player->queues_.emplace_back().reserve(kQueueCapacity);
  }
  for (size_t i = 0; i < kit.keys.size(); ++i) {
    const KitKey& key = kit.keys[i];
    if (!key.sample.empty() && key.keyCode >= 0 && player->instanceOfCode_[key.keyCode] < 0)
      player->instanceOfCode_[key.keyCode] = static_cast<int>(i / ZA32_KEYS);
  }
  // A hit stops at most every key of its group and itself, and starts one.
  player->scratch_.reserve(kit.keys.size() + 2);
  return player;
}

void KitPlayer::Queue(size_t instance, uint32_t frame, UINT message, LPARAM lParam) {
  std::vector<InstanceEvent>& queue = queues_[instance];
  if (queue.size() == queue.capacity()) {
    ++dropped_;
    return;
  }
  queue.push_back({frame, message, lParam});
}

void KitPlayer::Post(uint32_t frame, const EngineMessage& message) {
  const unsigned low = LOWORD(message.lParam);
  if (message.message == AM_NOTE) {
    const int instance = instanceOfCode_[low];
    if (instance >= 0)
      Queue(static_cast<size_t>(instance), frame, message.message, message.lParam);
  } else if (message.message == AM_BEND) {
    for (size_t i = 0; i < instances_.size(); ++i)
      Queue(i, frame, message.message, message.lParam);
  } else if (low < kit_.keys.size()) {
    Queue(low / ZA32_KEYS, frame, message.message,
          MessageParameter(low % ZA32_KEYS, HIWORD(message.lParam)));
  }
}

bool KitPlayer::Note(uint32_t frame, int trigger, int velocity) {
  scratch_.clear();
  const bool played = gate_.Note(trigger, velocity, scratch_);
  for (const EngineMessage& message : scratch_)
    Post(frame, message);
  return played;
}

void KitPlayer::Bend(uint32_t frame, int value) {
  Post(frame, {AM_BEND, MessageParameter(0, static_cast<unsigned>(value))});
}

MidiOutcome KitPlayer::Midi(uint32_t frame, const uint8_t* bytes, size_t size, int channel) {
  if (size == 0 || size > 3)
    return MidiOutcome::Ignored;
  const uint8_t status = bytes[0];
  const uint8_t data1 = size > 1 ? bytes[1] : 0;
  const uint8_t data2 = size > 2 ? bytes[2] : 0;
  const bool ours = channel < 0 || (status & 0x0F) == channel;
  // All sound off (120) and all notes off (123) stop every voice.
  if ((status & 0xF0) == 0xB0 && ours && size == 3 && (data1 == 120 || data1 == 123)) {
    AllNotesOff(frame);
    return MidiOutcome::Played;
  }
  const size_t expected = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
  if (status < 0x80 || status >= 0xF0 || size != expected || (data1 | data2) & 0x80)
    return MidiOutcome::Ignored;
  scratch_.clear();
  const MidiOutcome outcome = PlayMidiMessage(gate_, status, data1, data2, channel, scratch_);
  for (const EngineMessage& message : scratch_)
    Post(frame, message);
  return outcome;
}

void KitPlayer::AllNotesOff(uint32_t frame) {
  for (size_t i = 0; i < instances_.size(); ++i)
    Queue(i, frame, kAllNotesOff, 0);
  gate_.Reset();
}

void KitPlayer::Render(uint32_t frames, const BusBuffers& out) {
  for (size_t i = 0; i < instances_.size(); ++i) {
    std::vector<InstanceEvent>& queue = queues_[i];
    // Events come in time order from each source; a host may mix sources, so keep the
    // order stable by frame (insertion sort: queues are short and this allocates nothing).
    for (size_t k = 1; k < queue.size(); ++k)
      for (size_t j = k; j > 0 && queue[j - 1].frame > queue[j].frame; --j)
        std::swap(queue[j - 1], queue[j]);
    instances_[i]->Render(frames, queue.data(), queue.size(), out);
    queue.clear();
  }
}

unsigned KitPlayer::SoundingVoices() const {
  unsigned sounding = 0;
  for (const auto& instance : instances_)
    sounding += instance->SoundingVoices();
  return sounding;
}

std::vector<EngineBox> KitPlayer::TakeBoxes() {
  std::vector<EngineBox> boxes;
  for (const auto& instance : instances_)
    for (EngineBox& box : instance->TakeBoxes())
      boxes.push_back(std::move(box));
  return boxes;
}

} // namespace za32
