// Engine instances: each a private copy of libza32instance.so, its bytes written to a
// memory file and opened with dlopen(RTLD_LOCAL) under that file's /proc/self/fd name, so
// that the dynamic linker sees a new object every time (a plain second dlopen of one
// file gives the same copy back; dlmopen runs out of static TLS at 11 namespaces).
#include "instance/engine_instance.h"

#include "instance/module_interface.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

namespace za32 {
namespace {

std::mutex moduleLock; // the path and the bytes, read once
std::string modulePath;
std::shared_ptr<const std::vector<char>> moduleBytes;
// The resampler's kernels, made by whichever copy needs one first and kept for every
// copy after it (a copy's own would be 33 KB to 300 KB each).
std::array<std::atomic<void*>, 128> sharedKernels{};

// The module beside the program or library this code is linked into; else where the
// build made it.
std::string DefaultModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DefaultModulePath), &info) && info.dli_fname) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::canonical(info.dli_fname, error);
    if (!error) {
      const std::filesystem::path beside = self.parent_path() / ZA32_INSTANCE_MODULE_NAME;
      if (std::filesystem::exists(beside, error))
        return beside.string();
    }
  }
  return ZA32_INSTANCE_MODULE_BUILT;
}

std::shared_ptr<const std::vector<char>> ModuleBytes(std::string* why) {
  std::lock_guard guard(moduleLock);
  if (moduleBytes)
    return moduleBytes;
  if (modulePath.empty())
    modulePath = DefaultModulePath();
  std::ifstream file(modulePath, std::ios::binary | std::ios::ate);
  if (!file) {
    *why = "cannot read the engine module " + modulePath + ": " + std::strerror(errno);
    return nullptr;
  }
  // Read whole, at its size: a character at a time costs a start-up half a millisecond.
  const std::streamoff size = file.tellg();
  auto bytes = std::make_shared<std::vector<char>>(size > 0 ? static_cast<size_t>(size) : 0);
  file.seekg(0);
  if (!file.read(bytes->data(), static_cast<std::streamsize>(bytes->size()))) {
    *why = "cannot read the engine module " + modulePath;
    return nullptr;
  }
  if (bytes->empty()) {
    *why = "the engine module " + modulePath + " is empty";
    return nullptr;
  }
  moduleBytes = std::move(bytes);
  return moduleBytes;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

} // namespace

struct EngineInstance::Module {
  int fd = -1;
  void* handle = nullptr;
  const Za32InstanceModule* entry = nullptr;
  bool opened = false;
  std::vector<EngineBox> boxes;

  ~Module() {
    if (opened)
      entry->close();
    if (handle)
      dlclose(handle);
    if (fd >= 0)
      ::close(fd);
  }

  static void Box(void* owner, const char* text, const char* caption, unsigned type) {
    static_cast<Module*>(owner)->boxes.push_back(EngineBox{text, caption, type});
  }
};

bool EngineInstance::SetModulePath(const std::string& path) {
  std::lock_guard guard(moduleLock);
  if (moduleBytes)
    return path == modulePath;
  modulePath = path;
  return true;
}

std::unique_ptr<EngineInstance> EngineInstance::Open(uint32_t rate, std::string* why) {
  std::string ignored;
  if (!why)
    why = &ignored;
  if (rate < kMinInstanceRate || rate > kMaxInstanceRate) {
    *why = "the rate " + std::to_string(rate) + " Hz is outside " +
           std::to_string(kMinInstanceRate) + " to " + std::to_string(kMaxInstanceRate) + " Hz";
    return nullptr;
  }
  const auto bytes = ModuleBytes(why);
  if (!bytes)
    return nullptr;
  auto module = std::make_unique<Module>();
  module->fd = memfd_create("za32instance", MFD_CLOEXEC);
  if (module->fd < 0 || !WriteAll(module->fd, bytes->data(), bytes->size())) {
    *why = std::string("cannot make a memory file for the engine module: ") + std::strerror(errno);
    return nullptr;
  }
  // The descriptor stays open while the copy is loaded: its name is the copy's name, and
  // the linker would take a later object of the same name for this one.
  const std::string name = "/proc/self/fd/" + std::to_string(module->fd);
  module->handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module->handle) {
    const char* error = dlerror();
    *why = std::string("cannot load the engine module: ") + (error ? error : "unknown error");
    return nullptr;
  }
  using EntryFunction = const Za32InstanceModule* (*)();
  auto find = reinterpret_cast<EntryFunction>(dlsym(module->handle, "za32_instance_module"));
  module->entry = find ? find() : nullptr;
  if (!module->entry || module->entry->version != ZA32_INSTANCE_MODULE_VERSION) {
    *why = "the engine module " + modulePath + " is not one this program can use";
    return nullptr;
  }
  module->entry->share_kernels(sharedKernels.data(), sharedKernels.size());
  module->opened = module->entry->open(rate, &Module::Box, module.get()) != 0;
  if (!module->opened) {
    *why = "the engine did not start";
    for (const EngineBox& box : module->boxes)
      *why += ": " + box.text;
    return nullptr;
  }
  return std::unique_ptr<EngineInstance>(new EngineInstance(std::move(module), rate));
}

EngineInstance::EngineInstance(std::unique_ptr<Module> module, uint32_t rate)
    : module_(std::move(module)), rate_(rate) {
  for (KeyRecord& key : keys_.records) {
    key.Voice = -1;
    key.SampleNumber = -1;
  }
}

EngineInstance::~EngineInstance() = default;

uint32_t EngineInstance::rate() const {
  return rate_;
}

bool EngineInstance::InstallKeys(const InstanceKeys& keys, std::string* why) {
  const size_t shownBefore = module_->boxes.size();
  module_->entry->install_keys(keys.records.data(), keys.buses.data());
  const InstanceKeys installed = Keys();
  for (size_t k = 0; k < ZA32_KEYS; ++k) {
    const KeyRecord& key = installed.records[k];
    if (key.SampleName[0] == '\0' || key.SampleNumber != -1)
      continue;
    // The key's sample could not be loaded: back to the keys there were.
    if (why) {
      *why = "key " + std::to_string(k + 1) + " (" +
             std::string(key.SampleName, strnlen(key.SampleName, sizeof key.SampleName)) + ")";
      for (size_t b = shownBefore; b < module_->boxes.size(); ++b)
        *why += ": " + module_->boxes[b].text;
    }
    module_->boxes.resize(shownBefore);
    module_->entry->install_keys(keys_.records.data(), keys_.buses.data());
    return false;
  }
  keys_ = keys;
  return true;
}

InstanceKeys EngineInstance::Keys() const {
  InstanceKeys keys;
  module_->entry->read_keys(keys.records.data());
  keys.buses = keys_.buses;
  return keys;
}

void EngineInstance::Render(uint32_t frames, const InstanceEvent* events, size_t count,
                            const BusBuffers& out) {
  static_assert(sizeof(InstanceEvent) == sizeof(Za32ModuleEvent));
  static_assert(offsetof(InstanceEvent, frame) == offsetof(Za32ModuleEvent, frame));
  static_assert(offsetof(InstanceEvent, message) == offsetof(Za32ModuleEvent, message));
  static_assert(offsetof(InstanceEvent, lParam) == offsetof(Za32ModuleEvent, lParam));
  Za32ModuleBuses buses{};
  buses.count = out.buses;
  for (unsigned b = 0; b < kMaxBuses; ++b) {
    buses.left[b] = out.left[b];
    buses.right[b] = out.right[b];
  }
  module_->entry->render(frames, reinterpret_cast<const Za32ModuleEvent*>(events), count, &buses);
}

unsigned EngineInstance::SoundingVoices() const {
  return module_->entry->sounding_voices();
}

std::vector<EngineBox> EngineInstance::TakeBoxes() {
  std::vector<EngineBox> taken;
  taken.swap(module_->boxes);
  return taken;
}

} // namespace za32

// Each copy allocates its process-long state (the device's lists, pool and scratch, the
// stand-in's tables) inside itself and leaves it behind when it unloads: a few kilobytes
// a copy. The leak check of a sanitized build would name it at every exit of every
// program that opens instances; it is left out there, and nothing else is.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:za32::EngineInstance::Open\nleak:za32::EngineInstance::InstallKeys\n";
}
// Quietly: a program's standard error stays its own.
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}
