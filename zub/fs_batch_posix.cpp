#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "zub/dir_checks.h"
#include "zub/fs.h"
#include "zub/path.h"

namespace zub {

// The questions of one batch, shared by the caller and at most one worker
// thread: each takes the next run of indices from `next`, so every answer
// is written by one thread, and read only after the worker is joined.
struct DirChecks {
  enum Ask : uint8_t { none, access, open };

  std::string dir;
  const StringList* names = nullptr;
  int dirFd = -1;
  std::vector<uint32_t> work;   // indices of names to ask about
  std::vector<uint8_t> how;     // per name: the question, when asked
  std::vector<char> answer;     // per name: 0 not asked, 1 listable directory, 2 not
  std::atomic<size_t> next{0};
  pthread_t worker{};
  bool workerRunning = false;

  DirChecks() = default;
  DirChecks(const DirChecks&) = delete;
  DirChecks& operator=(const DirChecks&) = delete;
  // The worker reads the batch: it must be done before the batch goes.
  ~DirChecks() {
    if (workerRunning) pthread_join(worker, nullptr);
    if (dirFd >= 0) close(dirFd);
  }
};

namespace {

// Below this many questions a second thread costs more than it saves.
constexpr size_t kThreadFrom = 1024;
constexpr size_t kRun = 256;

bool ask(const DirChecks& checks, uint32_t i) {
  const std::string_view name = (*checks.names)[i];
  if (checks.dirFd < 0 || name.empty() || std::memchr(name.data(), '/', name.size()) != nullptr)
    return isDir(join(nativeSeparator(), checks.dir.c_str(), name.data(), nullptr).c_str());
  // A directory opens for listing exactly when we may read it, which
  // faccessat() answers without making a descriptor. O_PATH on the
  // directory: one we may search but not list still answers for its
  // entries, exactly as full paths through it would.
  if (checks.how[i] == DirChecks::access) return faccessat(checks.dirFd, name.data(), R_OK, 0) == 0;
  const int fd = openat(checks.dirFd, name.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  close(fd);
  return true;
}

void askAll(DirChecks& checks) {
  for (;;) {
    const size_t begin = checks.next.fetch_add(kRun, std::memory_order_relaxed);
    if (begin >= checks.work.size()) return;
    const size_t end = std::min(begin + kRun, checks.work.size());
    for (size_t k = begin; k < end; ++k) {
      const uint32_t i = checks.work[k];
      checks.answer[i] = ask(checks, i) ? 1 : 2;
    }
  }
}

void* askAllOnWorker(void* checks) {
  askAll(*static_cast<DirChecks*>(checks));
  return nullptr;
}

// Starts the worker on checks.work when there is enough of it; without a
// thread the questions wait for the caller's askAll().
void startWork(DirChecks& checks) {
  checks.next.store(0, std::memory_order_relaxed);
  checks.workerRunning = checks.work.size() >= kThreadFrom &&
                         pthread_create(&checks.worker, nullptr, askAllOnWorker, &checks) == 0;
}

void finishWork(DirChecks& checks) {
  askAll(checks);
  if (checks.workerRunning) pthread_join(checks.worker, nullptr);
  checks.workerRunning = false;
}

}  // namespace

void DirChecksFree::operator()(DirChecks* checks) const { delete checks; }

DirChecksHandle startDirChecks(const std::string& dir, const StringList& names,
                               const std::vector<char>& likelyDirs) {
  DirChecksHandle checks(new DirChecks);
  checks->dir = dir;
  checks->names = &names;
  checks->dirFd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  checks->how.assign(names.size(), DirChecks::none);
  checks->answer.assign(names.size(), 0);
  if (likelyDirs.size() == names.size()) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (!likelyDirs[i]) continue;
      checks->work.push_back(static_cast<uint32_t>(i));
      checks->how[i] = DirChecks::access;
    }
  }
  // Early questions only pay beside the caller's listing.
  if (checks->work.size() < kThreadFrom) {
    for (uint32_t i : checks->work) checks->how[i] = DirChecks::none;
    checks->work.clear();
  }
  startWork(*checks);
  return checks;
}

std::vector<char> finishDirChecks(DirChecks& checks, const std::vector<EntryKind>& kinds) {
  finishWork(checks);
  const size_t count = checks.answer.size();
  const bool kindsKnown = kinds.size() == count;
  // What the early questions did not settle is asked now.
  checks.work.clear();
  for (size_t i = 0; i < count; ++i) {
    const EntryKind kind = kindsKnown ? kinds[i] : EntryKind::unknown;
    if (kind == EntryKind::other) {
      checks.answer[i] = 2;
    } else if (kind == EntryKind::directory) {
      if (checks.how[i] == DirChecks::access && checks.answer[i] != 0) continue;
      checks.how[i] = DirChecks::access;
      checks.work.push_back(static_cast<uint32_t>(i));
    } else {
      // A link or an entry of unknown kind may be a file we may read: only
      // opening it as a directory tells.
      checks.how[i] = DirChecks::open;
      checks.work.push_back(static_cast<uint32_t>(i));
    }
  }
  startWork(checks);
  finishWork(checks);

  std::vector<char> result(count, 0);
  for (size_t i = 0; i < count; ++i) result[i] = checks.answer[i] == 1;
  return result;
}

}  // namespace zub
