// Keyboard commands on the global BrowserState, and the toolkit callbacks
// that dispatch to them.
//
// Key bindings are data: one table of {key, command} for character keys
// and one for the toolkit's special keys, read by one lookup function.
// Running a command needs no window, so everything but the two callbacks
// works (and is tested) without a display.
#pragma once

#include <cstddef>
#include <string>

// Everything a key can do.
enum class Command {
  none,        // unbound key: only the redisplay happens
  goToParent,  // open the parent of the current directory
  activate,    // enter the selected directory or launch the selected file
  quit,        // save the marks, end the process with status 0
  clearMarks,  // every mark to 0
  toggleMark,  // the selected entry's mark 0 -> 1, anything else -> 0
  moveUp,      // selection one up, never above 0
  moveDown,    // selection one down, never past the last entry
};

// One row of a key table.
struct KeyBinding {
  int key;
  Command command;
};

// The command bound to `key` in `table` (`count` rows); Command::none when
// the key has no row.
Command lookUpKey(const KeyBinding* table, std::size_t count, int key);

// The command of character key `key` (the byte the toolkit reports).
// Letters are bound in lower case only.
Command commandForKey(unsigned char key);

// The command of the toolkit's special-key code `key` (arrows only).
Command commandForSpecialKey(int key);

// Runs `command` on the global browserState. Every mark change is followed
// by saveMarks, loadMarks, buildLines, so the list shows what the marks
// file holds. Commands on the selected entry do nothing while the
// selection lies outside the list. Command::quit does not return.
void runCommand(Command command);

// Toolkit keyboard callback for character keys: runs the command bound to
// `key` and requests a redisplay (every key but quit, bound or not).
void onKey(unsigned char key, int x, int y);

// Toolkit callback for special keys: runs the arrow's command and requests
// a redisplay (every key, bound or not).
void onSpecialKey(int key, int x, int y);

// Opens the parent of the current directory (current directory joined
// with ".."); at the root that is the root again.
void goToParent();

// Enters the selected directory, or marks the selected file (the mark is
// saved first) and launches it. Something that is no listable directory
// counts as a file, a vanished entry included. Nothing when the selection
// lies outside the list.
void activateSelection();

// Saves the marks and the selection of the current directory, the first
// step of every way out (app/close_requests.h ends the others). True once;
// false, saving nothing, when a way out has begun already: the toolkit
// destroys its windows in its own exit handler and closes them again then.
bool saveBeforeQuit();

// saveBeforeQuit(), then ends the process with status 0 through the normal
// exit path: the quit keys.
[[noreturn]] void quitBrowser();
