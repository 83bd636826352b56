// Render allocates nothing and takes no lock once the keys are installed: every
// allocation and mutex lock of the process goes through the counters below, which count
// on the rendering thread only.
#include "instance_fixture.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* memory, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* memory);
}

// The sanitizers own the allocator: there the counters are not built and the test skips.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZA32_COUNT_ALLOCATIONS 0
#else
#define ZA32_COUNT_ALLOCATIONS 1
#endif

namespace {
thread_local bool counting = false;
std::atomic<size_t> allocations{0};
std::atomic<size_t> locks{0};
[[maybe_unused]] void Count() {
  if (counting)
    ++allocations;
}
} // namespace

#if ZA32_COUNT_ALLOCATIONS
extern "C" {
int pthread_mutex_lock(pthread_mutex_t* mutex) {
  static const auto next =
      reinterpret_cast<int (*)(pthread_mutex_t*)>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  if (counting)
    ++locks;
  return next(mutex);
}
void* malloc(size_t size) {
  Count();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  Count();
  return __libc_calloc(count, size);
}
void* realloc(void* memory, size_t size) {
  Count();
  return __libc_realloc(memory, size);
}
void* memalign(size_t alignment, size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  Count();
  *out = __libc_memalign(alignment, size);
  return *out ? 0 : 12; // ENOMEM
}
void free(void* memory) {
  if (memory && counting)
    ++allocations; // a free in render is as bad as an allocation
  __libc_free(memory);
}
}
#endif

namespace instance_test {
namespace {

TEST(InstanceAllocation, RenderAllocatesNothingAndTakesNoLockOnceKeysAreInstalled) {
  if (!ZA32_COUNT_ALLOCATIONS)
    GTEST_SKIP() << "the sanitizers own the allocator here";
  TempDir dir;
  std::vector<std::string> files;
  for (int k = 0; k < ZA32_KEYS; ++k)
    files.push_back(dir.write("k" + std::to_string(k) + ".wav",
                              SineWav(k % 2 ? 22050 : 44100, 200 + 20 * k, 30000, 0.02)));
  za32::InstanceKeys keys = KeysOn(files);
  for (int k = 0; k < ZA32_KEYS; ++k) {
    keys.records[k].Note = 48 + k;
    keys.records[k].PitchBend = 1;
    keys.buses[k] = static_cast<uint8_t>(k % 4);
  }
  auto instance = OpenWith(48000, keys);
  ASSERT_TRUE(instance);
  std::vector<za32::InstanceEvent> events;
  for (int k = 0; k < ZA32_KEYS; ++k)
    events.push_back(Note(static_cast<uint32_t>(k), 60 + k, 100));
  events.push_back({30, AM_BEND, static_cast<LPARAM>(MAKELONG(0, 127))});
  events.push_back({40, AM_BEND, static_cast<LPARAM>(MAKELONG(0, 0))});
  events.push_back({50, AM_VOLUME, static_cast<LPARAM>(MAKELONG(3, 90))});
  std::vector<za32::InstanceEvent> offs;
  for (int k = 0; k < ZA32_KEYS; ++k)
    offs.push_back(Note(static_cast<uint32_t>(k), 60 + k, 0));
  std::vector<float> out(8 * 64);
  za32::BusBuffers buses;
  buses.buses = 4;
  for (unsigned b = 0; b < 4; ++b) {
    buses.left[b] = out.data() + 128 * b;
    buses.right[b] = out.data() + 128 * b + 64;
  }
  auto play = [&] {
    instance->Render(64, events.data(), events.size(), buses);
    for (int block = 0; block < 20; ++block)
      instance->Render(64, nullptr, 0, buses);
    const unsigned sounding = instance->SoundingVoices();
    instance->Render(64, offs.data(), offs.size(), buses);
    return sounding;
  };
  RenderSummed(*instance, 64); // the first block, as any host would begin
  counting = true;
  const unsigned sounding = play();
  play();
  counting = false;
  EXPECT_EQ(sounding, unsigned{ZA32_KEYS});
  EXPECT_EQ(allocations, 0u);
  EXPECT_EQ(locks, 0u);
}

} // namespace
} // namespace instance_test
