// What a kit path names, made into a kit: a za32 kit.json (or a folder holding one), or a
// Hydrogen drumkit (its folder, its drumkit.xml or a .h2drumkit archive), imported as
// `za32 import` imports it into a cache folder keyed by the kit's content, never into the
// kit's own folder. Off the audio thread: it reads files, and may write the cache.
#pragma once

#include "kit/kit_model.h"

#include <filesystem>

namespace za32::lv2 {

// Throws std::exception whose message names the file and the reason.
Kit OpenKitSource(const std::filesystem::path& path);

// $XDG_CACHE_HOME/za32, else ~/.cache/za32.
std::filesystem::path KitCacheRoot();

} // namespace za32::lv2
