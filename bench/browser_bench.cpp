// Opening a directory and changing a mark, at 1,000 to 100,000 entries,
// against the floor of a bare readdir plus sort of the same directory.
//   build/bench/browser_bench
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/private_home.h"
#include "browser/browser_state.h"

namespace {

std::string benchRoot;

// A directory of `count` entries, one in ten a subdirectory, names of
// 12-20 mixed-case letters; made once per size and kept for the run.
const std::string& directoryOf(int count) {
  static std::map<int, std::string> made;
  auto found = made.find(count);
  if (found != made.end()) return found->second;
  const std::string dir = benchRoot + "/entries-" + std::to_string(count);
  mkdir(dir.c_str(), 0755);
  std::mt19937 random(count);
  const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (int i = 0; i < count; ++i) {
    std::string name;
    const int length = 12 + static_cast<int>(random() % 9);
    for (int c = 0; c < length; ++c) name += letters[random() % 52];
    name += std::to_string(i);  // unique
    const std::string path = dir + "/" + name;
    if (i % 10 == 0) {
      mkdir(path.c_str(), 0755);
    } else {
      FILE* f = fopen(path.c_str(), "w");
      if (f) fclose(f);
    }
  }
  return made.emplace(count, dir).first->second;
}

// Opens `dir` once and saves, so its marks file holds every entry.
void prepareMarks(const std::string& dir) {
  BrowserState state;
  openDirectory(dir.c_str(), state);
  for (size_t i = 0; i < state.marks.size(); i += 3) state.marks[i] = 1;
  saveMarks(state);
}

void BM_ReaddirSortFloor(benchmark::State& bench) {
  const std::string& dir = directoryOf(static_cast<int>(bench.range(0)));
  for (auto _ : bench) {
    std::vector<std::string> names;
    DIR* stream = opendir(dir.c_str());
    while (dirent* entry = readdir(stream)) names.emplace_back(entry->d_name);
    closedir(stream);
    std::sort(names.begin(), names.end());
    benchmark::DoNotOptimize(names.data());
  }
}

void BM_OpenDirectory(benchmark::State& bench) {
  const std::string& dir = directoryOf(static_cast<int>(bench.range(0)));
  prepareMarks(dir);
  for (auto _ : bench) {
    BrowserState state;  // a fresh run: nothing to save on the way in
    openDirectory(dir.c_str(), state);
    benchmark::DoNotOptimize(state.displayLines.size());
  }
}

void BM_MarkToggle(benchmark::State& bench) {
  const std::string& dir = directoryOf(static_cast<int>(bench.range(0)));
  prepareMarks(dir);
  BrowserState state;
  openDirectory(dir.c_str(), state);
  const size_t middle = state.marks.size() / 2;
  for (auto _ : bench) {
    state.marks[middle] = state.marks[middle] == 0 ? 1 : 0;
    saveMarks(state);
    loadMarks(state);
    buildLines(state);
  }
}

BENCHMARK(BM_ReaddirSortFloor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenDirectory)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkToggle)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return runBenchmarksInPrivateHome(argc, argv, "orchard-bench", benchRoot);
}
