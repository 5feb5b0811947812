// Marks file fuzzing: whatever a marks file holds, loading it, saving and
// loading again gives the same marks and selection, and a second save
// writes the same bytes. The first input byte picks how many of a fixed
// set of names the directory lists; the rest is the marks file.
//   scripts/test-fuzz.sh            (about 30 s per target)
//   FUZZ_SECONDS=3600 scripts/test-fuzz.sh
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "browser/browser_state.h"
#include "zub/atomic_file.h"
#include "zub/digest.h"
#include "zub/settings.h"

namespace {

const char* const names[] = {".", "..", "a", "b c", "notes.txt", "\xE9t\xE9", "x\\y", "dir"};
const char directory[] = "/fuzz/dir";

std::string runFolder;

void removeRunFolder() {
  std::error_code ec;
  std::filesystem::remove_all(runFolder, ec);
}

// A private HOME for the run, so the marks files land in a folder of our
// own; in memory where possible, since every save syncs to disk.
bool prepareHome() {
  for (const char* base : {"/dev/shm", "/tmp"}) {
    std::string pattern = std::string(base) + "/orchard-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) continue;
    runFolder = pattern;
    std::atexit(removeRunFolder);
    const std::string home = runFolder + "/home";
    if (mkdir(home.c_str(), 0700) != 0) return false;
    setenv("HOME", home.c_str(), 1);
    for (const char* name : {"APPDATA", "USERPROFILE", "HOMEPATH"}) unsetenv(name);
    return true;
  }
  return false;
}

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "marks_fuzz: %s\n", what);
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = prepareHome();
  if (!ready || size == 0) return 0;

  BrowserState state;
  state.currentDirectory = directory;
  const size_t count = data[0] % (std::size(names) + 1);
  for (size_t i = 0; i < count; ++i) {
    state.entryNames.push_back(names[i]);
    state.entryDigests.push_back(zub::digest(names[i]));
  }

  const std::string key = zub::digestHex(directory);
  const zub::SettingsLocation location = zub::locateSettingsFile(key.c_str());
  check(zub::replaceFile(location.path, reinterpret_cast<const char*>(data) + 1, size - 1),
        "the input could not be written as the marks file");

  state.selection = 2;
  loadMarks(state);
  const std::vector<int32_t> marks = state.marks;
  const int32_t selection = state.selection;
  check(marks.size() == count, "one mark per entry");
  // The fresh 2 stays, however few the entries.
  check(selection == 2 ||
            (selection >= -1 && static_cast<int64_t>(selection) <= static_cast<int64_t>(count)),
        "the selection lies outside -1 .. the entries");

  saveMarks(state);
  const std::string saved = readWhole(location.path);
  check(saved.rfind(std::to_string(count) + "\n", 0) == 0, "the count leads the saved file");

  state.marks.assign(count, 7);
  state.selection = -12345;
  loadMarks(state);
  check(state.marks == marks, "marks changed through save and load");
  check(state.selection == selection, "selection changed through save and load");

  saveMarks(state);
  check(readWhole(location.path) == saved, "a second save wrote different bytes");
  return 0;
}
