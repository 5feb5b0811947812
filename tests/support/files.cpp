// The portable part of the test support: std::filesystem and standard
// streams only, paths in UTF-8 as the program keeps them (u8path), so a
// Windows build reaches every name. Environment variables go through the
// platform file.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "tests/support/platform.h"
#include "tests/support/support.h"
#include "zub/digest.h"
#include "zub/platform.h"
#include "zub/settings.h"

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) return;
  std::random_device seed;
  std::mt19937_64 random((static_cast<std::uint64_t>(seed()) << 32) ^ seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "orchard-test-" << std::hex << random();
    const fs::path candidate = base / name.str();
    // create_directory says false when the name is taken: another attempt.
    if (fs::create_directory(candidate, error) && !error) {
      path = fs::canonical(candidate, error).u8string();
      if (error) path = candidate.u8string();
      return;
    }
  }
}

TempDir::~TempDir() {
  if (path.empty()) return;
  std::error_code ignored;
  // Folders a test made unreadable or unwritable must be opened up before
  // their content can go. Opening one lets the walk descend into it.
  const fs::path root = fs::u8path(path);
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied,
                                                  ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (ignored) break;
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(root, ignored);
}

std::string TempDir::operator/(const std::string& relative) const { return path + "/" + relative; }

bool writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  return static_cast<bool>(out);
}

bool writeExecutable(const std::string& path, const std::string& content) {
  std::error_code error;
  if (!writeFile(path, content)) return false;
  fs::permissions(fs::u8path(path), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec,
                  error);
  return !error;
}

std::string readFile(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

bool pathExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(fs::u8path(path), error));
}

bool makeDir(const std::string& path) {
  std::error_code error;
  fs::create_directories(fs::u8path(path), error);
  return fs::is_directory(fs::u8path(path), error);
}

std::vector<std::string> namesIn(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (auto it = fs::directory_iterator(fs::u8path(dir), error);
       !error && it != fs::directory_iterator(); it.increment(error)) {
    names.push_back(it->path().filename().u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

EnvGuard::~EnvGuard() {
  for (auto it = savedVariables.rbegin(); it != savedVariables.rend(); ++it) {
    putVariable(it->first, it->second);
  }
  std::error_code error;
  if (!savedDir.empty()) fs::current_path(fs::u8path(savedDir), error);
  // A test that cannot get back would run every later test elsewhere.
  if (error) std::abort();
}

void EnvGuard::set(const std::string& name, const std::string& value) {
  std::string old;
  const bool wasSet = zub::platform::environmentVariable(name.c_str(), old);
  savedVariables.emplace_back(name, wasSet ? std::optional<std::string>(old) : std::nullopt);
  putVariable(name, value);
}

void EnvGuard::unset(const std::string& name) {
  std::string old;
  const bool wasSet = zub::platform::environmentVariable(name.c_str(), old);
  savedVariables.emplace_back(name, wasSet ? std::optional<std::string>(old) : std::nullopt);
  putVariable(name, std::nullopt);
}

void EnvGuard::useHome(const std::string& home) {
  set("HOME", home);
  for (const char* name : {"APPDATA", "USERPROFILE", "HOMEPATH"}) unset(name);
}

bool EnvGuard::changeDir(const std::string& dir) {
  std::error_code error;
  const fs::path old = fs::current_path(error);
  if (error) return false;
  fs::current_path(fs::u8path(dir), error);
  if (error) return false;
  if (savedDir.empty()) savedDir = old.u8string();
  return true;
}

std::string marksFolder(const std::string& home) {
  return home + "/." + zub::settingsFolder;
}

std::string marksPath(const std::string& home, const std::string& directory) {
  return marksFolder(home) + "/" + zub::hexOf(zub::keyDigest(directory));
}

std::string marksText(const std::vector<std::string>& names, int selection,
                      const std::vector<int>& marks) {
  std::string text = std::to_string(names.size()) + "\n" + std::to_string(selection) + "\n";
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += zub::hexOf(zub::keyDigest(names[i])) + " " + std::to_string(i < marks.size() ? marks[i] : 0) + "\n";
  }
  return text + "\n";
}

bool writeMarks(const std::string& home, const std::string& directory,
                const std::string& content) {
  return makeDir(marksFolder(home)) && writeFile(marksPath(home, directory), content);
}

int atlasInk(const unsigned char* atlas, int code, int tx, int ty) {
  const int memoryRow = 16 * (15 - code / 16) + (15 - ty);
  return atlas[(memoryRow * 256 + 16 * (code % 16) + tx) * 4 + 3];
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::vector<std::string> hostileNames() {
  return {
      "plain.txt",
      "with blank and 'single' \"double\" quotes",
      "$(touch pwned-subst)",
      "`touch pwned-tick`",
      "x; touch pwned-semicolon",
      "line one\ntouch pwned-newline",
      "caf\xe9 \xff\x80 bytes",
      "-starts-with-dash",
      // What the Windows command interpreter acts on.
      "a&mkdir pwned-amp&b",
      "^(caret)^ 100% done",
  };
}

}  // namespace testing_support
