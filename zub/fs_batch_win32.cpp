#include "zub/fs.h"
#include "zub/path.h"

namespace zub {

std::vector<char> entriesAreDirs(const std::string& dir,
                                 const std::vector<std::string>& names,
                                 const std::vector<EntryKind>& kinds) {
  // The search has no handle-relative open to spare the directory part, so
  // every candidate is asked by its full path; only the entries the listing
  // already calls plain files are skipped.
  const bool kindsKnown = kinds.size() == names.size();
  std::vector<char> result(names.size(), 0);
  for (size_t i = 0; i < names.size(); ++i) {
    if (kindsKnown && kinds[i] == EntryKind::other) continue;
    result[i] = isDir(join(nativeSeparator(), dir.c_str(), names[i].c_str(), nullptr).c_str());
  }
  return result;
}

}  // namespace zub
