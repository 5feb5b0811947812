// Internals shared by the browser model's files.
#pragma once

#include <string>
#include <vector>

#include "browser/browser_state.h"

// Whether `name` in `dir` opens as a directory stream, using what the
// listing said (`kind`) to skip the call where the answer is certain.
bool entryIsDir(const std::string& dir, const std::string& name,
                zub::EntryKind kind);

// buildLines() with each entry's directory status already known.
void buildLinesWith(BrowserState& state, const std::vector<char>& isDirectory);

// Makes state.entryKeys match state.entryNames (the names' digests).
void refreshEntryKeys(BrowserState& state);
