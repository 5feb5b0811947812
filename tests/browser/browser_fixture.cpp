#include "browser_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "zub/settings.h"

namespace {
void removeTree(const std::string& path) {
  // Some tests leave unreadable folders behind: open them up first.
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0700);
  std::filesystem::remove_all(path, ec);
  if (ec) ADD_FAILURE() << "could not remove " << path << ": " << ec.message();
}
}  // namespace

void BrowserFixture::SetUp() {
  char pattern[] = "/tmp/orchard-browser-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  root = pattern;
  // Open to everyone so that an unprivileged child can work in it too.
  chmod(root.c_str(), 0777);
  home = root + "/home";
  makeDir("home");
  chmod(home.c_str(), 0777);
  for (const char* name : {"HOME", "APPDATA", "USERPROFILE", "HOMEPATH"}) {
    const char* value = getenv(name);
    if (value) savedEnv.emplace_back(name, value);
    else unsetEnv.push_back(name);
  }
  setenv("HOME", home.c_str(), 1);
  unsetenv("APPDATA");
  unsetenv("USERPROFILE");
  unsetenv("HOMEPATH");
}

void BrowserFixture::TearDown() {
  for (const auto& [name, value] : savedEnv) setenv(name.c_str(), value.c_str(), 1);
  for (const auto& name : unsetEnv) unsetenv(name.c_str());
  removeTree(root);
}

std::string BrowserFixture::at(const std::string& relative) const {
  return relative.empty() ? root : root + "/" + relative;
}

void BrowserFixture::makeDir(const std::string& relative) {
  ASSERT_EQ(mkdir(at(relative).c_str(), 0777), 0) << relative;
  chmod(at(relative).c_str(), 0777);
}

void BrowserFixture::makeFile(const std::string& relative, const std::string& content) {
  std::ofstream out(at(relative), std::ios::binary);
  out << content;
  ASSERT_TRUE(out.good()) << relative;
}

std::string BrowserFixture::marksPathOf(const std::string& absolute) const {
  return home + "/.orchard.menu/" + zub::digestHex(absolute);
}

std::string BrowserFixture::marksFileOf(const std::string& absolute) const {
  std::ifstream in(marksPathOf(absolute), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void BrowserFixture::writeMarksFile(const std::string& absolute, const std::string& content) {
  mkdir((home + "/.orchard.menu").c_str(), 0777);
  chmod((home + "/.orchard.menu").c_str(), 0777);
  std::ofstream out(marksPathOf(absolute), std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good());
}

int indexOf(const BrowserState& state, const std::string& name) {
  for (size_t i = 0; i < state.entryNames.size(); ++i)
    if (state.entryNames[i] == name) return static_cast<int>(i);
  return -1;
}

std::string runUnprivileged(const std::function<void(std::string&)>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    std::string out;
    body(out);
    const char* p = out.data();
    size_t left = out.size();
    while (left > 0) {
      const ssize_t n = write(fds[1], p, left);
      if (n <= 0) _exit(4);
      p += n;
      left -= static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "child failed with status " + std::to_string(status);
  return result;
}
