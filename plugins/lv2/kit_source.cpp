#include "plugins/lv2/kit_source.h"

#include "host/files/kit_file.h"
#include "host/import/drumkit_import.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace za32::lv2 {

namespace {

// A kit file and its samples checked before an engine opens them: a sample that is a FIFO
// or a device is refused here rather than block the worker.
Kit CheckedKit(const fs::path& file) {
  Kit kit = LoadKit(file);
  CheckKitSamplesExist(kit);
  return kit;
}

bool IsHydrogen(const fs::path& file) {
  return file.filename() == "drumkit.xml" || file.extension() == ".h2drumkit";
}

// The import's folder in the cache: made under a temporary name, renamed into place when
// complete, so that a half-written import is never taken for a finished one.
Kit CachedImport(const fs::path& source) {
  DrumkitImport import(source);
  fs::path root = KitCacheRoot() / "hydrogen";
  fs::path folder = root / import.ContentKey();
  fs::path kitFile = folder / "kit.json";
  std::error_code error;
  if (!fs::exists(kitFile, error)) {
    fs::create_directories(root, error);
    if (error)
      throw std::runtime_error(root.string() +
                               ": cannot make the cache folder: " + error.message());
    std::string pattern = (root / ("." + import.ContentKey() + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error(root.string() + ": cannot write in the cache folder: " +
                               std::system_category().message(errno));
    fs::path temporary = pattern;
    try {
      import.WriteInto(temporary);
    } catch (...) {
      fs::remove_all(temporary, error);
      throw;
    }
    fs::rename(temporary, folder, error);
    if (error) {
      // Another instance finished the same kit first: its copy is as good.
      fs::remove_all(temporary, error);
      if (!fs::exists(kitFile, error))
        throw std::runtime_error(folder.string() + ": cannot complete the imported kit");
    }
  }
  Kit kit = CheckedKit(kitFile);
  kit.source = source.string();
  return kit;
}

} // namespace

fs::path KitCacheRoot() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/')
    return fs::path(cache) / "za32";
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/')
    throw std::runtime_error("neither XDG_CACHE_HOME nor HOME names a folder for the "
                             "imported kits' cache");
  return fs::path(home) / ".cache" / "za32";
}

Kit OpenKitSource(const fs::path& path) {
  std::error_code error;
  // Links resolved, so that the kit's own folder, not a link's, holds its samples (a
  // host's state folder may link to the kit).
  fs::path file = fs::canonical(path, error);
  if (error)
    throw std::runtime_error(path.string() + ": " + error.message());
  if (fs::is_directory(file, error)) {
    if (fs::exists(file / "kit.json", error))
      return CheckedKit(file / "kit.json");
    if (fs::exists(file / "drumkit.xml", error))
      return CachedImport(file);
    throw std::runtime_error(path.string() +
                             ": a folder with neither a kit.json nor a Hydrogen drumkit.xml");
  }
  if (IsHydrogen(file))
    return CachedImport(file);
  return CheckedKit(file);
}

} // namespace za32::lv2
