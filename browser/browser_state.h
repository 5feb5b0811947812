// The browser model: the one global BrowserState and its operations.
//
// Everything the program knows about what is on the screen lives here:
// the current directory, its entries in display order, one mark per entry,
// the text line shown for each entry and the selected index, plus the few
// window values that start-up, the callbacks and the drawing share.
// Operations report nothing: a directory that cannot be listed is shown
// empty, a marks file that cannot be opened is skipped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zub/digest.h"
#include "zub/file_stamp.h"
#include "zub/fs.h"
#include "zub/string_list.h"

struct BrowserState {
  zub::StringList displayLines;           // text drawn for entry i
  zub::StringList entryNames;             // raw names, in entryOrder order
  std::vector<int32_t> marks;             // 0 unmarked, anything else marked
  std::string currentDirectory = ".";     // normalised once a dir is opened
  float viewWidth = 0.0f;                 // window size in pixels
  float viewHeight = 0.0f;
  int32_t windowId = -1;                  // toolkit window id; -1 while none
  bool needsGlInit = true;                // extension loader not yet set up
  std::vector<std::string> arguments;     // argv copy, argv[0] included
  int32_t argumentCount = 0;
  int32_t selection = 0;                  // -1 (none) .. count once loaded

  // Kept beside the entries so that a mark change does not hash every
  // name again. Same length and order as entryNames: whoever sets the
  // names sets these with them (openDirectory does).
  std::vector<zub::Digest> entryDigests;  // zub::keyDigest of each name: its marks key
  // Which entries the last buildLines() or openDirectory() found to be
  // directories. Never taken as the answer: the next buildLines() asks
  // about these early, while it lists the directory to ask afresh.
  std::vector<char> entryWasDirectory;
  // listingOrder[k] is the index in entryNames of the k-th name the
  // directory listing returned: a later pass over the directory meets the
  // entries in that order, and matches them without a lookup.
  std::vector<uint32_t> listingOrder;
  bool hasOpenedDirectory = false;        // false until the first open
  // What the marks file held for each entry when this instance last read
  // or wrote it, and the file's stamp then. A save finds from them the
  // entries this instance changed, and whether another instance has
  // written the file since: its marks are kept for every other entry.
  std::vector<int32_t> marksOnDisk;
  zub::FileStamp marksFileStamp;
  // The file, when last read, marked entries this listing lacks (another
  // instance listed them, or they are gone): the next save lists the
  // folder again and keeps the marks of those that exist.
  bool marksFileMarksUnlisted = false;
  // Those entries that exist, as the last save found them: their keys,
  // the marks the file holds for them and their names (the folder is
  // listed once to find them). While the file is what this instance last
  // read or wrote, a save keeps them by asking for each name alone,
  // instead of listing the folder again.
  struct UnlistedMarks {
    std::vector<zub::Digest> keys;
    std::vector<int32_t> marks;
    std::vector<std::string> names;
    bool known = false;  // false: the next save finds them afresh
  } unlisted;
  // Set by clearMarks(): the next save writes this instance's marks alone,
  // taking nothing from the file (another instance's marks included).
  bool dropStoredMarks = false;
};

// The program's one browser.
extern BrowserState browserState;

// Makes `path` (any form normalize() accepts; may be the character data of
// state.currentDirectory itself) the current directory: saves the marks of
// the directory being left (not on the first call of a run), normalises
// the path, lists and orders its entries, selection 2, loads their marks
// and selection, builds the display lines.
void openDirectory(const char* path, BrowserState& state);

// Rebuilds displayLines from entryNames, marks and currentDirectory:
// "* " or two blanks, then the name, in brackets for a directory.
// marks must be at least as long as entryNames.
void buildLines(BrowserState& state);

// Writes the marks file of state.currentDirectory (entry count, selection,
// one "KEY mark" line per entry, an empty line). Keeps the old file when
// the new one cannot be written whole, and leaves a read-only file alone.
// Under the folder's lock: when another instance wrote the file since this
// one last read or wrote it, its marks are taken into state.marks for
// every entry this instance has not changed since (the selection stays
// this instance's), so no instance drops another's marks; entries it has
// not listed keep their marks too, while they exist (the folder is listed
// again for them), in lines after those of the entries.
void saveMarks(BrowserState& state);

// Reads the marks file of state.currentDirectory into state.marks (one
// element per entry, matched by the key of the name) and state.selection,
// to the stored count or the end of the file, whatever the entries now
// (readMarksFile() says where a damaged file ends the read). A missing or
// damaged file never stops it: what cannot be read stays 0 (marks) or as it
// was (selection). A selection the file holds from -1 up to the number of
// entries is kept, and 2 whatever the entries; any other becomes the
// nearer end entry (0 with no entries). Without a stored one the selection
// stays as it was (the 2 openDirectory() sets, whatever the entries).
void loadMarks(BrowserState& state);

// Unmarks every entry, and has the next saveMarks() drop every mark the
// file holds for the directory: those another instance saved, of entries
// this one lists or not, too.
void clearMarks(BrowserState& state);

// The display order of entries in directory `dir`: directories first (by
// isDir of dir joined with the name), then by name with ASCII letters
// folded to lower case, bytes compared unsigned, a shorter prefix first.
// Names equal but for case compare equal (neither comes first).
struct EntryOrder {
  std::string dir;
  bool operator()(const std::string& a, const std::string& b) const;
};

// The comparison object for directory `dir` (it keeps its own copy).
EntryOrder entryOrder(std::string dir);

// The same order for names whose directory status is already known.
bool entryComesBefore(std::string_view a, bool aIsDir, std::string_view b, bool bIsDir);
