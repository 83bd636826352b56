// The engine module the instances copy: the bundle's own, beside the plugin's binary, so
// that the plugin needs nothing from the system but what its bundle holds.
#pragma once

#include <string>

namespace za32::lv2 {

inline constexpr const char* kBundledEngineFile = "libza32instance.so";

// False, with the reason, when the bundle holds no engine module.
bool UseBundledEngine(const char* bundlePath, std::string* why);

} // namespace za32::lv2
