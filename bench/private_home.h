// The benchmarks' start: a fresh folder under $TMPDIR (or /tmp) with a
// HOME inside it, so marks files never touch the user's own, removed again
// when the benchmarks have run.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// Runs the registered benchmarks with `root` set to the fresh folder
// (named after `prefix`) and HOME at root/home, the other profile
// variables unset. Returns main's exit status: 1 when the folder cannot be
// made or removed.
inline int runBenchmarksInPrivateHome(int argc, char** argv, const char* prefix,
                                      std::string& root) {
  const char* base = std::getenv("TMPDIR");
  root = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
  if (!mkdtemp(root.data())) return 1;
  const std::string home = root + "/home";
  mkdir(home.c_str(), 0700);
  setenv("HOME", home.c_str(), 1);
  unsetenv("APPDATA");
  unsetenv("USERPROFILE");
  unsetenv("HOMEPATH");

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return ec ? 1 : 0;
}
