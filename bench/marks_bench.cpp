// Loading and saving marks files that users do not write by hand: keys
// crafted to share their first bytes, a file that announces few pairs but
// holds many, and the largest directories, with the memory a save takes.
//   build/bench/marks_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "bench/private_home.h"
#include "browser/browser_state.h"
#include "zub/digest.h"
#include "zub/settings.h"

namespace {

// The benchmarks' own folder (runBenchmarksInPrivateHome()).
std::string benchRoot;

// A state for directory `dir` (never listed: the names are given) with
// `count` entries.
BrowserState stateWith(const std::string& dir, size_t count) {
  BrowserState state;
  state.currentDirectory = dir;
  state.entryNames.reserve(count, count * 12);
  for (size_t i = 0; i < count; ++i) {
    const std::string name = "entry-" + std::to_string(i);
    state.entryNames.push_back(name);
    state.entryDigests.push_back(zub::digest(name));
  }
  return state;
}

// stateWith(dir, count) as stored: its marks file loaded (empty the first
// time), then every third entry marked.
BrowserState markedStateWith(const std::string& dir, size_t count) {
  BrowserState state = stateWith(dir, count);
  loadMarks(state);
  for (size_t i = 0; i < state.marks.size(); i += 3) state.marks[i] = 1;
  return state;
}

void writeMarksFileOf(const std::string& dir, const std::string& content) {
  if (FILE* file = zub::openSettingsFile(zub::digestHex(dir).c_str(), "w")) {
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
  }
}

// `count` distinct keys that share their first 16 hexadecimal digits.
std::string craftedPairs(size_t count) {
  std::mt19937_64 random(7);
  std::string text = std::to_string(count) + "\n0\n";
  char line[64];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "0123456789ABCDEF%016llX 1\n",
                  static_cast<unsigned long long>(random()));
    text += line;
  }
  return text + "\n";
}

void BM_LoadCraftedKeys(benchmark::State& bench) {
  const std::string dir = "/bench/crafted-" + std::to_string(bench.range(0));
  BrowserState state = stateWith(dir, 1000);
  writeMarksFileOf(dir, craftedPairs(static_cast<size_t>(bench.range(0))));
  for (auto _ : bench) {
    loadMarks(state);
    benchmark::DoNotOptimize(state.marks.data());
  }
}

// Three pairs announced, 50 MB of further pairs behind them.
void BM_LoadAnnouncesFewHoldsMany(benchmark::State& bench) {
  const std::string dir = "/bench/few";
  BrowserState state = stateWith(dir, 3);
  std::string text = craftedPairs(1400000);
  text.replace(0, text.find('\n'), "3");
  writeMarksFileOf(dir, text);
  for (auto _ : bench) {
    loadMarks(state);
    benchmark::DoNotOptimize(state.marks.data());
  }
}

// The largest count announced, three pairs, then 10 GB of zero bytes
// (sparse: no disk used), loaded for three entries.
void BM_LoadHugeSparseFile(benchmark::State& bench) {
  const std::string dir = "/bench/sparse";
  BrowserState state = stateWith(dir, 3);
  writeMarksFileOf(dir, "2147483647\n1\n" + zub::hexOf(state.entryDigests[2]) + " 1\n");
  const std::string path = zub::locateSettingsFile(zub::digestHex(dir).c_str()).path;
  if (truncate(path.c_str(), 10LL << 30) != 0) return bench.SkipWithError("no sparse file");
  for (auto _ : bench) {
    loadMarks(state);
    benchmark::DoNotOptimize(state.marks.data());
  }
}

void BM_SaveAndLoad(benchmark::State& bench) {
  BrowserState state = markedStateWith("/bench/large-" + std::to_string(bench.range(0)),
                                       static_cast<size_t>(bench.range(0)));
  for (auto _ : bench) {
    state.marks[0] ^= 1;
    saveMarks(state);
    loadMarks(state);
  }
}

// The peak resident memory of this process so far (VmHWM), in MiB; 0
// where /proc does not tell.
double peakResidentMiB() {
  double kib = 0;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, status))
      if (std::sscanf(line, "VmHWM: %lf", &kib) == 1) break;
    std::fclose(status);
  }
  return kib / 1024;
}

// The save of a toggle alone. peak_resident_MiB is the process's peak so
// far: run this benchmark alone (--benchmark_filter=BM_Save/) to see the
// state and the saves only.
void BM_Save(benchmark::State& bench) {
  BrowserState state = markedStateWith("/bench/save-" + std::to_string(bench.range(0)),
                                       static_cast<size_t>(bench.range(0)));
  for (auto _ : bench) {
    state.marks[0] ^= 1;
    saveMarks(state);
  }
  bench.counters["peak_resident_MiB"] = peakResidentMiB();
}

// The save of a toggle in a small directory while the settings folder
// holds `range(0)` other files (planted by anyone who may write there).
// They are made once and stay until the benchmarks end: register this one
// last, with growing arguments.
void BM_SaveBesideOtherFiles(benchmark::State& bench) {
  static int64_t planted = 0;
  const std::string file = zub::locateSettingsFile("planted").path;
  const std::string prefix = file.substr(0, file.size() - std::strlen("planted"));
  for (; planted < bench.range(0); ++planted) {
    const std::string name = prefix + "planted-" + std::to_string(planted);
    if (FILE* made = std::fopen(name.c_str(), "w")) std::fclose(made);
  }
  const std::string dir = "/bench/beside-" + std::to_string(bench.range(0));
  BrowserState state = stateWith(dir, 3);
  loadMarks(state);
  saveMarks(state);
  for (auto _ : bench) {
    state.marks[2] ^= 1;
    saveMarks(state);
  }
}

// One toggle as the commands make it (save, then load) in a small
// directory: the settings lookups are what it costs beyond the two
// files. A fixed count of toggles, so that counting system calls under
// strace gives the calls per toggle: every lookup reads the working
// directory once (getcwd) for the last candidate.
//   strace -f -c -e trace=getcwd,openat,newfstatat
//     build/bench/marks_bench --benchmark_filter=BM_Toggle
void BM_Toggle(benchmark::State& bench) {
  BrowserState state = stateWith("/bench/toggle", 3);
  loadMarks(state);
  for (auto _ : bench) {
    state.marks[2] ^= 1;
    saveMarks(state);
    loadMarks(state);
  }
}

// The same toggle when another instance has written the file since this
// one read it (here: this one's record of the file is forgotten), so the
// save merges what the file holds first.
void BM_ToggleAfterAnotherInstance(benchmark::State& bench) {
  BrowserState state = stateWith("/bench/toggle-merged", 3);
  loadMarks(state);
  for (auto _ : bench) {
    state.marksFileStamp = {};
    state.marks[2] ^= 1;
    saveMarks(state);
    loadMarks(state);
  }
}

// A folder of `count` empty files entry-0, entry-1, ... under the
// benchmarks' root, made the first time it is asked for.
std::string folderOf(size_t count) {
  const std::string dir = benchRoot + "/folder-" + std::to_string(count);
  if (mkdir(dir.c_str(), 0755) != 0) return dir;
  for (size_t i = 0; i < count; ++i) {
    const std::string path = dir + "/entry-" + std::to_string(i);
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
  }
  return dir;
}

// A toggle in a real folder of range(0) entries. With range(1) set, the
// file also holds another instance's mark of an entry this one has never
// listed (made after it listed the folder): every save keeps that mark,
// and should cost about what the plain toggle (range(1) 0) costs: the
// folder is listed once, for the first save, before the toggles timed.
void BM_ToggleInAFolder(benchmark::State& bench) {
  const size_t count = static_cast<size_t>(bench.range(0));
  const std::string dir = folderOf(count);
  writeMarksFileOf(dir, "");
  BrowserState state = stateWith(dir, count);
  if (bench.range(1) != 0) {
    const std::string later = "made-later";
    const int fd = open((dir + "/" + later).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) return bench.SkipWithError("no file made");
    close(fd);
    BrowserState other = stateWith(dir, count);
    other.entryNames.push_back(later);
    other.entryDigests.push_back(zub::digest(later));
    loadMarks(other);
    other.marks.back() = 1;
    saveMarks(other);
  }
  loadMarks(state);
  // The one listing that finds the other's entry is made here.
  state.marks[2] ^= 1;
  saveMarks(state);
  loadMarks(state);
  for (auto _ : bench) {
    state.marks[2] ^= 1;
    saveMarks(state);
    loadMarks(state);
  }
  if (bench.range(1) != 0 && !state.marksFileMarksUnlisted)
    bench.SkipWithError("the other instance's mark was lost");
}

BENCHMARK(BM_Toggle)->Iterations(1000);
BENCHMARK(BM_ToggleAfterAnotherInstance)->Iterations(1000);
BENCHMARK(BM_ToggleInAFolder)->Args({1000000, 0})->Args({1000000, 1})->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCraftedKeys)->Arg(20000)->Arg(80000)->Arg(160000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAnnouncesFewHoldsMany)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadHugeSparseFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveAndLoad)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBesideOtherFiles)->Arg(0)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return runBenchmarksInPrivateHome(argc, argv, "orchard-marks-bench", benchRoot);
}
