// Internals shared by the browser model's files.
#pragma once

#include <string>
#include <vector>

#include "browser/browser_state.h"

// buildLines() with each entry's directory status already known.
void buildLinesWith(BrowserState& state, const std::vector<char>& isDirectory);

// Makes state.entryDigests match state.entryNames.
void refreshEntryKeys(BrowserState& state);
