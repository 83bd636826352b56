// State the device keeps for as long as the process runs: made once, never destroyed at
// exit (a mixer thread may still run then), but freed by a private copy of the device
// before it is unloaded, so that each copy gives back what it took.
#pragma once

#include <type_traits>

namespace dsemu {

template <typename T> class Releasable {
public:
  Releasable() : object(new T) {} // a function-local static: made once, thread-safe
  // Made again only after Release, which the single owner of a private copy calls.
  T& Get() {
    if (!object)
      object = new T;
    return *object;
  }
  void Release() {
    delete object;
    object = nullptr;
  }

private:
  T* object;
};

// Nothing runs at exit: what is left goes with the process.
static_assert(std::is_trivially_destructible_v<Releasable<int>>);

} // namespace dsemu
