// Saving, loading and merging the per-directory marks file. Its text is
// marks_format's business, and where it lives that of zub/settings.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "browser/browser_state.h"
#include "browser/marks_format.h"
#include "zub/atomic_file.h"
#include "zub/digest.h"
#include "zub/file_stamp.h"
#include "zub/fs.h"
#include "zub/path.h"
#include "zub/settings.h"

namespace {

// The name of the marks file of `directory`.
std::string marksFileKey(const std::string& directory) {
  return zub::hexOf(zub::keyDigest(directory));
}

// The names of the entries `directory` holds now that are not among
// `known`, with their keys.
void findUnlisted(const std::string& directory, std::vector<zub::Digest> known,
                  std::vector<zub::Digest>& keys, std::vector<std::string>& names) {
  std::vector<std::string> listed;
  zub::listDir(directory.c_str(), listed);
  std::sort(known.begin(), known.end());
  for (std::string& name : listed) {
    const zub::Digest key = zub::keyDigest(name);
    if (std::binary_search(known.begin(), known.end(), key)) continue;
    keys.push_back(key);
    names.push_back(std::move(name));
  }
}

// Of the unlisted entries found before, those that are still there: one
// question per entry, which is far less than a listing of the folder.
void keepThoseThatExist(const std::string& directory, BrowserState::UnlistedMarks& unlisted) {
  size_t kept = 0;
  for (size_t i = 0; i < unlisted.keys.size(); ++i) {
    const std::string path =
        zub::join(zub::nativeSeparator(), directory.c_str(), unlisted.names[i].c_str(), nullptr);
    if (!zub::stampOf(path).exists) continue;
    unlisted.keys[kept] = unlisted.keys[i];
    unlisted.marks[kept] = unlisted.marks[i];
    unlisted.names[kept] = std::move(unlisted.names[i]);
    ++kept;
  }
  unlisted.keys.resize(kept);
  unlisted.marks.resize(kept);
  unlisted.names.resize(kept);
}

// When another instance has written the file since this one last read or
// wrote it, takes its marks for every entry this instance has not changed
// since then; the last writer wins only on one entry. When the file marks
// entries this instance has not listed, those of them that exist go into
// state.unlisted with their marks, so that this save keeps them: the folder
// is listed to find them when the file is new to this instance, and
// otherwise each one found before is asked for alone.
void takeOthersMarks(BrowserState& state, const zub::SettingsLocation& location) {
  BrowserState::UnlistedMarks& unlisted = state.unlisted;
  if (zub::settingsFileStamp(location) == state.marksFileStamp) {
    if (!state.marksFileMarksUnlisted) return;
    if (unlisted.known) return keepThoseThatExist(state.currentDirectory, unlisted);
  }
  unlisted = {};
  FILE* stream = zub::openSettingsFile(location, "r");
  if (stream == nullptr) return;
  const size_t count = state.entryNames.size();
  std::vector<int32_t> theirs(count, 0);
  int32_t theirSelection = 0;
  const zub::FileStamp read = zub::stampOf(stream);
  if (readMarksFile(stream, state.entryDigests, theirs, theirSelection).othersMarked) {
    std::vector<zub::Digest> keys = state.entryDigests;
    std::vector<std::string> names;
    findUnlisted(state.currentDirectory, keys, keys, names);
    std::vector<int32_t> marks(keys.size(), 0);
    rewind(stream);
    readMarksFile(stream, keys, marks, theirSelection);
    for (size_t i = count; i < keys.size(); ++i) {
      if (marks[i] == 0) continue;
      unlisted.keys.push_back(keys[i]);
      unlisted.marks.push_back(marks[i]);
      unlisted.names.push_back(std::move(names[i - count]));
    }
  }
  unlisted.known = true;
  fclose(stream);
  // Without a record of what was read (a state never loaded) every mark
  // counts as this instance's.
  if (state.marksOnDisk.size() == count) {
    for (size_t i = 0; i < count; ++i)
      if (state.marks[i] == state.marksOnDisk[i]) state.marks[i] = theirs[i];
  }
  state.marksOnDisk = std::move(theirs);
  state.marksFileStamp = read;
}

// The stored selection from -1 (none) up to `count` (one past the last
// entry, where the fresh 2 of a folder of only "." and ".." lies) is kept,
// and so is 2 itself: the fresh selection of a folder with fewer entries,
// saved and read back, stays what it was. One beyond (a list that shrank,
// a damaged file) becomes the nearest entry, so that the user sees where
// it is: the last, or the first (0 with no entries).
int32_t selectionWithin(int32_t selection, size_t count) {
  const int64_t entries = static_cast<int64_t>(count);
  if ((selection >= -1 && selection <= entries) || selection == 2) return selection;
  return selection < -1 ? 0 : static_cast<int32_t>(std::max<int64_t>(entries - 1, 0));
}

// Says on standard error, once per directory and run, that the marks of
// `directory` are not saved and why: the screen keeps showing them, so
// this line is the only sign that they will be gone next time. Control
// bytes are written as \xHH, so that a name cannot make it two lines.
void tellNotSaved(const std::string& directory, const std::string& reason) {
  static std::unordered_set<std::string> told;
  if (!told.insert(directory).second) return;
  const std::string line = "orchard-menu: the marks of " + directory + " cannot be saved: " + reason;
  std::fprintf(stderr, "%s\n", zub::escapedLine(line).c_str());
}

}  // namespace

void saveMarks(BrowserState& state) {
  // Asked for this save alone, whether or not it gets as far as writing.
  const bool dropStored = std::exchange(state.dropStoredMarks, false);
  if (state.currentDirectory.empty()) return;
  state.marks.resize(state.entryNames.size(), 0);

  const std::string fileKey = marksFileKey(state.currentDirectory);
  const zub::SettingsLocation location = zub::locateSettingsFile(fileKey.c_str());
  if (location.path.empty()) return tellNotSaved(state.currentDirectory, location.problem);
  // A marks file the user may not write stays as it is; the load that
  // follows a change then shows what the file still says.
  std::string problem;
  if (!zub::mayReplaceSettingsFile(location, problem))
    return tellNotSaved(state.currentDirectory, problem);

  // Read, merge and write take turns with other instances.
  const zub::FolderLock lock = zub::lockSettingsFolder(location);
  if (dropStored) state.unlisted = {};
  else takeOthersMarks(state, location);

  // Written whole beside the old file and moved over it, so a crash, a
  // kill or a full disk leaves the previous marks whole. The lines are
  // formatted a piece at a time into the writer's buffer: a save in the
  // largest directory costs no more memory than one in the smallest.
  MarksText text{state.selection,
                 {&state.entryDigests, &state.marks},
                 {&state.unlisted.keys, &state.unlisted.marks}};
  const zub::ContentSource source{fillMarksText, &text};
  if (zub::replaceSettingsFile(location, source, lock, problem)) {
    state.marksOnDisk = state.marks;
    state.marksFileStamp = zub::settingsFileStamp(location);
    state.marksFileMarksUnlisted = !state.unlisted.keys.empty();
    // The file now holds exactly these.
    state.unlisted.known = true;
  } else {
    state.unlisted.known = false;
    tellNotSaved(state.currentDirectory, problem);
  }
}

void loadMarks(BrowserState& state) {
  const size_t count = state.entryNames.size();
  state.marks.assign(count, 0);

  FILE* stream = zub::openSettingsFile(marksFileKey(state.currentDirectory).c_str(), "r");
  const zub::FileStamp stamp = zub::stampOf(stream);
  // The unlisted entries found before still hold for the file this
  // instance wrote last (a toggle reads back its own save), with their
  // lines where that save put them.
  KnownOthers others;
  if (stamp == state.marksFileStamp && state.unlisted.known)
    others = KnownOthers{&state.unlisted.keys, &state.unlisted.marks};
  else
    state.unlisted = {};
  state.marksFileStamp = stamp;
  state.marksFileMarksUnlisted = false;
  MarksFileRead read;
  if (stream != nullptr) {
    read = readMarksFile(stream, state.entryDigests, state.marks, state.selection, others);
    state.marksFileMarksUnlisted = read.othersMarked;
    fclose(stream);
  }
  state.marksOnDisk = state.marks;
  // Only a stored selection is brought into range: a fresh one stays the
  // 2 openDirectory() set, even where there are fewer entries.
  if (read.selectionRead) state.selection = selectionWithin(state.selection, count);
}

void clearMarks(BrowserState& state) {
  std::fill(state.marks.begin(), state.marks.end(), 0);
  state.dropStoredMarks = true;
}
