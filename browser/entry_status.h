// Internals shared by the browser model's files.
#pragma once

#include <string>
#include <vector>

#include "browser/browser_state.h"

// buildLines() with each entry's directory status already known.
void buildLinesWith(BrowserState& state, const std::vector<char>& isDirectory);

// Makes state.entryDigests the digests of state.entryNames, however the
// names were changed: it hashes them all again only when the names differ
// from those the digests were made for (by namesFingerprint()).
void refreshEntryKeys(BrowserState& state);

// A 64-bit fingerprint of `names`, their order and every byte: equal
// lists give equal values; any change is all but certain to change it.
// Much cheaper than a digest per name.
uint64_t namesFingerprint(const std::vector<std::string>& names);
