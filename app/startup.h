// Start-up steps that need no window: the argument copy, the first
// directory, the lines printed on every start.
#pragma once

#include <string>

// Copies argv into browserState.arguments / argumentCount. `argv` holds
// `argc` zero-terminated strings.
void copyArguments(int argc, char** argv);

// The directory to open first: the first argument after the program name
// when there is one (argv holds `argc` strings, null ones read as empty),
// else "." (the working directory).
std::string firstDirectory(int argc, char** argv);

// The four lines printed on every start: an empty line, the banner with
// the base name of `programPath`, the usage line, an empty line.
void printStartupLines(const char* programPath);
