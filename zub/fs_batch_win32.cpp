#include "zub/dir_checks.h"
#include "zub/fs.h"
#include "zub/path.h"

namespace zub {

// The search has no handle-relative open to spare the directory part, so
// every candidate is asked by its full path, once its kind is known; only
// the entries the listing calls plain files are skipped.
struct DirChecks {
  std::string dir;
  const StringList* names = nullptr;
};

void DirChecksFree::operator()(DirChecks* checks) const { delete checks; }

DirChecksHandle startDirChecks(const std::string& dir, const StringList& names,
                               const std::vector<char>&) {
  return DirChecksHandle(new DirChecks{dir, &names});
}

std::vector<char> finishDirChecks(DirChecks& checks, const std::vector<EntryKind>& kinds) {
  const StringList& names = *checks.names;
  const bool kindsKnown = kinds.size() == names.size();
  std::vector<char> result(names.size(), 0);
  for (size_t i = 0; i < names.size(); ++i) {
    if (kindsKnown && kinds[i] == EntryKind::other) continue;
    result[i] = isDir(join(nativeSeparator(), checks.dir.c_str(), names[i].data(), nullptr).c_str());
  }
  return result;
}

}  // namespace zub
