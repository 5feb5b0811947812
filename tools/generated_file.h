// Writing the sources that the build generates from committed pictures.
#pragma once

#include <string>

// Writes `text` to `path`, replacing what was there. On failure prints a
// message naming `tool` to stderr, removes a partly written file and
// returns false.
bool writeGeneratedFile(const char* tool, const char* path, const std::string& text);
