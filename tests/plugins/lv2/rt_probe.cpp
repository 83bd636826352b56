#include "rt_probe.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZA32_RT_PROBE_OFF 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZA32_RT_PROBE_OFF 1
#endif

namespace {
thread_local bool counting = false;
thread_local RtCounts counts;
void ResolveNext();
} // namespace

void RtProbeBegin() {
  ResolveNext(); // dlsym allocates: not while counting
  counts = RtCounts{};
  counting = true;
}

RtCounts RtProbeEnd() {
  counting = false;
  return counts;
}

bool RtProbePause() {
  bool was = counting;
  counting = false;
  return was;
}

void RtProbeResume(bool wasCounting) {
  counting = wasCounting;
}

#ifdef ZA32_RT_PROBE_OFF

namespace {
void ResolveNext() {}
} // namespace

bool RtProbeAvailable() {
  return false;
}

#else

bool RtProbeAvailable() {
  return true;
}

namespace {
template <typename F> F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
int (*nextOpen)(const char*, int, ...);
int (*nextOpenat)(int, const char*, int, ...);
FILE* (*nextFopen)(const char*, const char*);
int (*nextLock)(pthread_mutex_t*);
int (*nextTrylock)(pthread_mutex_t*);

void ResolveNext() {
  if (!nextOpen)
    nextOpen = Next<int (*)(const char*, int, ...)>("open");
  if (!nextOpenat)
    nextOpenat = Next<int (*)(int, const char*, int, ...)>("openat");
  if (!nextFopen)
    nextFopen = Next<FILE* (*)(const char*, const char*)>("fopen");
  if (!nextLock)
    nextLock = Next<int (*)(pthread_mutex_t*)>("pthread_mutex_lock");
  if (!nextTrylock)
    nextTrylock = Next<int (*)(pthread_mutex_t*)>("pthread_mutex_trylock");
}

void CountAllocation() {
  if (counting)
    ++counts.allocations;
}
} // namespace

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t size) {
  CountAllocation();
  return __libc_malloc(size);
}

void* calloc(size_t n, size_t size) {
  CountAllocation();
  return __libc_calloc(n, size);
}

void* realloc(void* p, size_t size) {
  CountAllocation();
  return __libc_realloc(p, size);
}

void* memalign(size_t alignment, size_t size) {
  CountAllocation();
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  CountAllocation();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) {
  CountAllocation();
  *out = __libc_memalign(alignment, size);
  return *out ? 0 : 12; // ENOMEM
}

int open(const char* path, int flags, ...) {
  if (counting)
    ++counts.opens;
  va_list args;
  va_start(args, flags);
  mode_t mode = (flags & O_CREAT) ? va_arg(args, mode_t) : 0;
  va_end(args);
  ResolveNext();
  return nextOpen(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  if (counting)
    ++counts.opens;
  va_list args;
  va_start(args, flags);
  mode_t mode = (flags & O_CREAT) ? va_arg(args, mode_t) : 0;
  va_end(args);
  ResolveNext();
  return nextOpenat(dir, path, flags, mode);
}

FILE* fopen(const char* path, const char* mode) {
  if (counting)
    ++counts.opens;
  ResolveNext();
  return nextFopen(path, mode);
}

int pthread_mutex_lock(pthread_mutex_t* mutex) {
  ResolveNext();
  if (!counting)
    return nextLock(mutex);
  ++counts.locks;
  if (nextTrylock(mutex) == 0)
    return 0;
  ++counts.waits;
  return nextLock(mutex);
}
}

#endif
