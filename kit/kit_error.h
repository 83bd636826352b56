// A fault in what the user gave (a kit, a key, a JSON field): its message names the file,
// the field and the reason, and is shown as it is.
#pragma once

#include <stdexcept>
#include <string>

class KitError : public std::runtime_error {
public:
  explicit KitError(const std::string& message) : std::runtime_error(message) {}
};
