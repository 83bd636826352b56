#include "plugins/lv2/bundled_engine.h"

#include "instance/engine_instance.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace za32::lv2 {

bool UseBundledEngine(const char* bundlePath, std::string* why) {
  std::string path = std::string(bundlePath ? bundlePath : "") + "/" + kBundledEngineFile;
  if (!bundlePath || access(path.c_str(), R_OK) != 0) {
    *why = path + ": " + std::strerror(bundlePath ? errno : ENOENT);
    return false;
  }
  // Every instance of this binary comes from this one bundle: once set, the path stays.
  EngineInstance::SetModulePath(path);
  return true;
}

} // namespace za32::lv2
