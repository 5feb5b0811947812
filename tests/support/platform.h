// The few operations the portable test support needs from the platform.
// One realisation per platform (process_posix.cpp, ...), picked by CMake.
#pragma once

#include <optional>
#include <string>

namespace testing_support {

// Sets environment variable `name` to `value`, or removes it when `value`
// is empty (nullopt). Failures are ignored: the next check shows them.
void putVariable(const std::string& name, const std::optional<std::string>& value);

}  // namespace testing_support
