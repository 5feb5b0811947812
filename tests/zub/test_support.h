// Real temporary folders, and environment and working-directory changes
// that are undone when a test ends.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace zubtest {

// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes. `path` is canonical.
struct TempDir {
  std::string path;
  TempDir() {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "zub-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      path = std::filesystem::canonical(pattern, ec).string();
    }
  }
  ~TempDir() {
    std::error_code ec;
    // Make unreadable leftovers of a test removable again.
    for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0700);
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sets or unsets environment variables for the lifetime of the object and
// puts back the values they had before.
struct EnvGuard {
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  void save(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  void set(const std::string& name, const std::string& value) {
    save(name);
    setenv(name.c_str(), value.c_str(), 1);
  }
  void unset(const std::string& name) {
    save(name);
    unsetenv(name.c_str());
  }
  ~EnvGuard() {
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
      if (it->second) setenv(it->first.c_str(), it->second->c_str(), 1);
      else unsetenv(it->first.c_str());
    }
  }
};

// Changes the working directory and returns to the old one at the end.
struct CwdGuard {
  std::string old;
  bool entered = false;
  explicit CwdGuard(const std::string& dir) {
    std::error_code ec;
    old = std::filesystem::current_path(ec).string();
    entered = !ec && chdir(dir.c_str()) == 0;
  }
  ~CwdGuard() {
    if (entered && chdir(old.c_str()) != 0) std::abort();
  }
};

// For checks that run in a forked child: as root the child first becomes
// "nobody", for whom permission bits count; each failed expectation is
// printed and counted, and the count becomes the child's exit status.
inline bool becomeUnprivileged() {
  return geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0);
}

struct WrongCount {
  int wrong = 0;
  void expect(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "wrong: %s\n", what);
    ++wrong;
  }
};

}  // namespace zubtest
