// Start-up steps that need no window: the argument copy, the first
// directory, the lines printed on every start.
#pragma once

// Copies argv into browserState.arguments / argumentCount. `argv` holds
// `argc` zero-terminated strings.
void copyArguments(int argc, char** argv);

// The directory to open first: the first argument after the program name
// when there is one, else "." (the working directory). Points into
// browserState.arguments, or at a constant; valid until they change.
const char* firstDirectory();

// Opens the directory `path` (a zero-terminated string, as firstDirectory()
// gives) in the browser; shaped as background work. Needs no window.
void openFirstDirectory(void* path);

// The four lines printed on every start: an empty line, the banner with
// the base name of `programPath`, the usage line, an empty line.
void printStartupLines(const char* programPath);
