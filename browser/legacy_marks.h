// Marks files written before names were UTF-8 on Windows: keyed by the
// ANSI code page bytes of the path and names. Read when no file exists
// under the UTF-8 key, so the marks of a "café" folder come back; the next
// save writes the UTF-8-keyed file and leaves the old one where it is.
#pragma once

#include <cstdio>
#include <vector>

#include "browser/browser_state.h"

// Opens the marks file of state.currentDirectory for reading: the file
// under the UTF-8 key when there is one; else, where the path has other
// bytes in the old encoding (zub::platform::legacyBytes()), the file under
// that key, and then `entryKeys` receives one key per entry of
// state.entryDigests, each the digest of the name's old bytes (the UTF-8
// digest where the bytes are the same); else as zub::openSettingsFile()
// opens the UTF-8-keyed file. `entryKeys` stays empty unless the old file
// was opened. nullptr when no file can be opened; the caller closes it.
FILE* openMarksForReading(const BrowserState& state, std::vector<zub::Digest>& entryKeys);
