// What the browser model's files share beyond BrowserState's interface:
// display lines from known directory status, and the entries' marks keys.
#pragma once

#include <string>
#include <vector>

#include "browser/browser_state.h"

// buildLines() with each entry's directory status already known.
void buildLinesWith(BrowserState& state, std::vector<char> isDirectory);

// Makes state.entryDigests the digests of state.entryNames, however the
// names were changed: it hashes them all again only when the names differ
// from those the digests were made for (by their version).
void refreshEntryKeys(BrowserState& state);
