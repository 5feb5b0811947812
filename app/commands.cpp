#include "app/commands.h"

#include <GL/freeglut.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>

#include "app/launch.h"
#include "browser/browser_state.h"
#include "zub/fs.h"
#include "zub/path.h"

namespace {

// Codes as the toolkit reports them: 8 Backspace, 127 Delete, 10 line
// feed, 13 Enter, 27 Escape.
constexpr KeyBinding characterKeys[] = {
    {8, Command::goToParent},  {127, Command::goToParent},
    {10, Command::activate},   {13, Command::activate},
    {27, Command::quit},       {'q', Command::quit},
    {'c', Command::clearMarks}, {'t', Command::toggleMark},
};

constexpr KeyBinding specialKeys[] = {
    {GLUT_KEY_LEFT, Command::toggleMark},
    {GLUT_KEY_UP, Command::moveUp},
    {GLUT_KEY_RIGHT, Command::toggleMark},
    {GLUT_KEY_DOWN, Command::moveDown},
};

// The selection is not kept in range by the browser model (a fresh
// directory gets 2, a marks file may hold anything), so every use as an
// index checks it here.
bool selectionIsAnEntry(const BrowserState& state) {
  return state.selection >= 0 &&
         static_cast<std::size_t>(state.selection) < state.entryNames.size() &&
         static_cast<std::size_t>(state.selection) < state.marks.size();
}

// After every change of marks: write them, read them back, rebuild the
// lines, so what is shown is what the marks file holds.
void refreshMarks(BrowserState& state) {
  saveMarks(state);
  loadMarks(state);
  buildLines(state);
}

void toggleSelectedMark(BrowserState& state) {
  if (!selectionIsAnEntry(state)) return;
  int32_t& mark = state.marks[static_cast<std::size_t>(state.selection)];
  mark = mark == 0 ? 1 : 0;
  refreshMarks(state);
}

void clearAllMarks(BrowserState& state) {
  clearMarks(state);
  refreshMarks(state);
}

void moveSelectionUp(BrowserState& state) {
  if (state.selection > 0) --state.selection;
}

void moveSelectionDown(BrowserState& state) {
  // Signed and wide: with no entries the bound is -1 and nothing moves.
  const int64_t last = static_cast<int64_t>(state.entryNames.size()) - 1;
  if (state.selection < last) ++state.selection;
}

}  // namespace

Command lookUpKey(const KeyBinding* table, std::size_t count, int key) {
  for (std::size_t i = 0; i < count; ++i) {
    if (table[i].key == key) return table[i].command;
  }
  return Command::none;
}

Command commandForKey(unsigned char key) {
  return lookUpKey(characterKeys, std::size(characterKeys), key);
}

Command commandForSpecialKey(int key) {
  return lookUpKey(specialKeys, std::size(specialKeys), key);
}

void goToParent() {
  const std::string parent =
      zub::join(zub::nativeSeparator(), browserState.currentDirectory.c_str(),
                "..", nullptr);
  openDirectory(parent.c_str(), browserState);
}

void activateSelection() {
  BrowserState& state = browserState;
  if (!selectionIsAnEntry(state)) return;
  const std::size_t index = static_cast<std::size_t>(state.selection);
  // The raw name, not the display line with its prefix and brackets.
  const std::string fullPath =
      zub::join(zub::nativeSeparator(), state.currentDirectory.c_str(),
                state.entryNames[index].data(), nullptr);
  if (zub::isFile(fullPath.c_str())) {
    // The mark reaches the marks file before anything is started.
    state.marks[index] = 1;
    refreshMarks(state);
    launchFile(fullPath);
  } else if (zub::isDir(fullPath.c_str())) {
    openDirectory(fullPath.c_str(), state);
  }
}

namespace {
bool quitting = false;
}

bool saveBeforeQuit() {
  if (quitting) return false;
  quitting = true;
  saveMarks(browserState);
  return true;
}

void quitBrowser() {
  saveBeforeQuit();
  std::exit(0);
}

void runCommand(Command command) {
  switch (command) {
    case Command::none: break;
    case Command::goToParent: goToParent(); break;
    case Command::activate: activateSelection(); break;
    case Command::quit: quitBrowser();
    case Command::clearMarks: clearAllMarks(browserState); break;
    case Command::toggleMark: toggleSelectedMark(browserState); break;
    case Command::moveUp: moveSelectionUp(browserState); break;
    case Command::moveDown: moveSelectionDown(browserState); break;
  }
}

void onKey(unsigned char key, int, int) {
  runCommand(commandForKey(key));
  glutPostRedisplay();
}

void onSpecialKey(int key, int, int) {
  runCommand(commandForSpecialKey(key));
  glutPostRedisplay();
}
