// The measuring half of bench/e2e_bench.sh: what a user waits for, taken
// from outside the real program on an X display of the script's own.
//
//   e2e_probe make-dir DIR COUNT [cjk|arabic]
//       fills the new directory DIR with COUNT entries, one in ten a
//       subdirectory, names of 12-20 mixed-case letters and a number; with
//       cjk, of 4-12 CJK ideographs (U+4E00 on) and a number; with arabic,
//       of two words of 3-8 Arabic letters and a number.
//   e2e_probe reference DIR
//       the cheap pipeline any browser needs for DIR (readdir with d_type,
//       directories first in folded order, MD5 per name, display lines);
//       prints "reference_ms=<ms>".
//   e2e_probe ls DIR
//       runs `ls -1 -a DIR` into /dev/null; prints "ls_ms=<ms>".
//   e2e_probe run PROGRAM DIR HOME TOGGLES
//       starts PROGRAM on DIR with HOME, waits for the selected row to show,
//       toggles its mark TOGGLES times through XTest, and quits it with q.
//       Prints start_ms, map_ms, hwm_start_kib, hwm_after_kib, and one
//       frame_ms and file_ms per toggle. DIR must be absolute and
//       normalised: it names the marks file.
//   e2e_probe table FILE
//       medians per size and metric of the "size metric value" lines in
//       FILE, as a table; a metric "label/name" is program label's name.
//
// Pixels are polled on the root window: the program's window fills the
// 1920 x 1080 screen at (0, 0), its selected row (and the "> " marker)
// lies at y 528-559, and the selected line is the only red text, so red
// anywhere in x 32-400 of that row means the list is visible and red in
// the mark column x 32-63 means the selected entry is marked.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <fcntl.h>
#include <nettle/md5.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kRowTop = 528;   // X rows of the selected line's cell
constexpr int kRowHeight = 32;
constexpr double kTimeoutMs = 60000;

double nowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void sleepMs(double ms) {
  timespec t{0, static_cast<long>(ms * 1e6)};
  nanosleep(&t, nullptr);
}

// --- make-dir ---------------------------------------------------------

enum class NameKind { latin, cjk, arabic };

int makeDir(const char* dir, long count, NameKind kind) {
  if (mkdir(dir, 0755) != 0) {
    perror(dir);
    return 1;
  }
  const int dirFd = open(dir, O_PATH | O_DIRECTORY);
  std::mt19937 random(static_cast<unsigned>(count));
  const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string name;
  for (long i = 0; i < count; ++i) {
    name.clear();
    if (kind == NameKind::arabic) {
      for (int word = 0; word < 2; ++word) {
        if (word > 0) name += ' ';
        const int length = 3 + static_cast<int>(random() % 6);
        for (int c = 0; c < length; ++c) {
          // U+0628 to U+064A: the letters after alef, and a few others.
          const unsigned code = 0x0628 + static_cast<unsigned>(random() % 35);
          name += static_cast<char>(0xC0 | (code >> 6));
          name += static_cast<char>(0x80 | (code & 0x3F));
        }
      }
    } else if (kind == NameKind::cjk) {
      const int length = 4 + static_cast<int>(random() % 9);
      for (int c = 0; c < length; ++c) {
        const unsigned code = 0x4E00 + static_cast<unsigned>(random() % 20000);
        name += static_cast<char>(0xE0 | (code >> 12));
        name += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        name += static_cast<char>(0x80 | (code & 0x3F));
      }
    } else {
      const int length = 12 + static_cast<int>(random() % 9);
      for (int c = 0; c < length; ++c) name += letters[random() % 52];
    }
    name += std::to_string(i);  // unique
    if (i % 10 == 0) {
      if (mkdirat(dirFd, name.c_str(), 0755) != 0) return 1;
    } else {
      const int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
      if (fd < 0) return 1;
      close(fd);
    }
  }
  close(dirFd);
  return 0;
}

// --- reference --------------------------------------------------------

unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 0x20 : c; }

int reference(const char* path) {
  const double start = nowMs();
  struct Entry {
    std::string name;
    bool isDir;
  };
  std::vector<Entry> entries;
  DIR* dir = opendir(path);
  if (!dir) return 1;
  while (const dirent* e = readdir(dir)) {
    bool isDir = e->d_type == DT_DIR;
    if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
      struct stat st;
      isDir = fstatat(dirfd(dir), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back(Entry{e->d_name, isDir});
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.isDir != b.isDir) return a.isDir;
    const size_t n = std::min(a.name.size(), b.name.size());
    for (size_t i = 0; i < n; ++i) {
      const unsigned char ca = fold(a.name[i]), cb = fold(b.name[i]);
      if (ca != cb) return ca < cb;
    }
    return a.name.size() < b.name.size();
  });
  std::vector<std::array<uint8_t, 16>> digests(entries.size());
  std::vector<std::string> lines(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    md5_ctx md5;
    md5_init(&md5);
    md5_update(&md5, entries[i].name.size(), reinterpret_cast<const uint8_t*>(entries[i].name.data()));
    md5_digest(&md5, 16, digests[i].data());
    lines[i] = entries[i].isDir ? "  [" + entries[i].name + "]" : "  " + entries[i].name;
  }
  const double ms = nowMs() - start;
  printf("reference_ms=%.2f entries=%zu\n", ms, lines.size());
  return 0;
}

// --- ls ---------------------------------------------------------------

int runLs(const char* dir) {
  const double start = nowMs();
  const pid_t pid = fork();
  if (pid == 0) {
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    execlp("ls", "ls", "-1", "-a", dir, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  printf("ls_ms=%.2f\n", nowMs() - start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

// --- run --------------------------------------------------------------

int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

// Red pixels in the selected row between x0 and x1.
int redInRow(Display* x, Window root, int x0, int x1) {
  XImage* image = XGetImage(x, root, x0, kRowTop, static_cast<unsigned>(x1 - x0), kRowHeight,
                            AllPlanes, ZPixmap);
  if (!image) return 0;
  int red = 0;
  for (int y = 0; y < kRowHeight; ++y)
    for (int i = 0; i < x1 - x0; ++i) {
      const unsigned long p = XGetPixel(image, i, y);
      const unsigned r = (p & image->red_mask) * 255 / image->red_mask;
      const unsigned g = (p & image->green_mask) * 255 / image->green_mask;
      const unsigned b = (p & image->blue_mask) * 255 / image->blue_mask;
      red += r >= 200 && g <= 60 && b <= 60;
    }
  XDestroyImage(image);
  return red;
}

long vmHwmKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

std::string upperMd5(const std::string& s) {
  md5_ctx md5;
  md5_init(&md5);
  md5_update(&md5, s.size(), reinterpret_cast<const uint8_t*>(s.data()));
  uint8_t d[16];
  md5_digest(&md5, 16, d);
  char hex[33];
  for (int i = 0; i < 16; ++i) snprintf(hex + 2 * i, 3, "%02X", d[i]);
  return hex;
}

// True once an event says the file `name` in the watched folder got new
// content: renamed into place, linked in, or closed after writing.
bool drainInotify(int fd, const std::string& name) {
  alignas(inotify_event) char buffer[1 << 14];
  bool seen = false;
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return seen;
    for (ssize_t off = 0; off < n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buffer + off);
      if (ev->len > 0 && name == ev->name) seen = true;
      off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
    }
  }
}

void sendKey(Display* x, KeySym sym) {
  const KeyCode code = XKeysymToKeycode(x, sym);
  XTestFakeKeyEvent(x, code, True, 0);
  XTestFakeKeyEvent(x, code, False, 0);
  XFlush(x);
}

int run(const char* program, const char* dir, const char* home, int toggles) {
  Display* x = XOpenDisplay(nullptr);
  if (!x) {
    fprintf(stderr, "no display\n");
    return 1;
  }
  XSetErrorHandler(ignoreXErrors);
  const Window root = DefaultRootWindow(x);
  XSelectInput(x, root, SubstructureNotifyMask);
  XSync(x, False);

  const std::string settings = std::string(home) + "/.orchard.menu";
  mkdir(settings.c_str(), 0755);
  const std::string marksName = upperMd5(dir);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  inotify_add_watch(watch, settings.c_str(), IN_MOVED_TO | IN_CREATE | IN_CLOSE_WRITE);

  const double start = nowMs();
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("HOME", home, 1);
    unsetenv("APPDATA");
    unsetenv("USERPROFILE");
    unsetenv("HOMEPATH");
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    execl(program, program, dir, static_cast<char*>(nullptr));
    _exit(127);
  }

  // The window's first mapping, then the selected row in red.
  double mapped = -1;
  while (mapped < 0 && nowMs() - start < kTimeoutMs) {
    while (XPending(x)) {
      XEvent ev;
      XNextEvent(x, &ev);
      if (ev.type == MapNotify && mapped < 0) mapped = nowMs() - start;
    }
    if (mapped < 0) sleepMs(0.5);
  }
  double visible = -1;
  while (visible < 0 && nowMs() - start < kTimeoutMs) {
    if (redInRow(x, root, 32, 400) > 0)
      visible = nowMs() - start;
    else
      sleepMs(0.5);
  }
  bool ok = visible >= 0;
  printf("start_ms=%.2f\nmap_ms=%.2f\nhwm_start_kib=%ld\n", visible, mapped, vmHwmKib(pid));
  fflush(stdout);

  // Keys go to the window under the pointer: put it in the middle.
  XTestFakeMotionEvent(x, -1, 960, 540, 0);
  XSync(x, False);
  for (int t = 0; ok && t < toggles; ++t) {
    drainInotify(watch, marksName);
    const bool wasMarked = redInRow(x, root, 32, 64) > 0;
    const double sent = nowMs();
    sendKey(x, XK_t);
    double frame = -1, file = -1;
    while ((frame < 0 || file < 0) && nowMs() - sent < kTimeoutMs) {
      pollfd p{watch, POLLIN, 0};
      if (file < 0 && poll(&p, 1, 0) > 0 && drainInotify(watch, marksName)) file = nowMs() - sent;
      if (frame < 0 && (redInRow(x, root, 32, 64) > 0) != wasMarked) frame = nowMs() - sent;
      if (frame < 0 || file < 0) sleepMs(0.5);
    }
    ok = frame >= 0 && file >= 0;
    printf("frame_ms=%.2f\nfile_ms=%.2f\n", frame, file);
    fflush(stdout);
  }
  printf("hwm_after_kib=%ld\n", vmHwmKib(pid));
  sendKey(x, XK_q);
  int status = 0;
  const double quitSent = nowMs();
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (nowMs() - quitSent > kTimeoutMs) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ok = false;
      break;
    }
    sleepMs(1);
  }
  close(watch);
  XCloseDisplay(x);
  if (!ok) fprintf(stderr, "run on %s did not finish\n", dir);
  return ok ? 0 : 1;
}

// --- table ------------------------------------------------------------

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int table(const char* file) {
  std::ifstream in(file);
  // Metrics may carry a program label: "before/start_ms".
  std::map<std::string, std::map<long, std::vector<double>>> values;
  std::vector<long> sizes;
  std::vector<std::string> labels;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    long size;
    std::string metric;
    double value;
    if (!(fields >> size >> metric >> value)) continue;
    values[metric][size].push_back(value);
    if (std::find(sizes.begin(), sizes.end(), size) == sizes.end()) sizes.push_back(size);
    const size_t slash = metric.find('/');
    const std::string label = slash == std::string::npos ? "" : metric.substr(0, slash);
    if (std::find(labels.begin(), labels.end(), label) == labels.end()) labels.push_back(label);
  }
  const char* rows[][3] = {
      {"ls_ms", "ls -1 -a (ms)", "1"},
      {"reference_ms", "reference pipeline (ms)", "1"},
      {"map_ms", "start -> window mapped (ms)", "1"},
      {"start_ms", "start -> list visible (ms)", "1"},
      {"frame_ms", "toggle: key -> frame (ms)", "1"},
      {"file_ms", "toggle: key -> marks file (ms)", "1"},
      {"hwm_start_kib", "VmHWM after start (MiB)", "1024"},
      {"hwm_after_kib", "VmHWM after toggles (MiB)", "1024"},
  };
  printf("| entries |");
  for (long s : sizes) printf(" %ld |", s);
  printf("\n|---|");
  for (size_t i = 0; i < sizes.size(); ++i) printf("---:|");
  printf("\n");
  for (auto& row : rows) {
    for (const std::string& label : labels) {
      const std::string metric = label.empty() ? row[0] : label + "/" + row[0];
      if (!values.count(metric)) continue;
      printf("| %s%s%s |", label.c_str(), label.empty() ? "" : ": ", row[1]);
      const double scale = atof(row[2]);
      for (long s : sizes) {
        auto& v = values[metric][s];
        if (v.empty())
          printf(" |");
        else
          printf(" %.1f (n=%zu) |", median(v) / scale, v.size());
      }
      printf("\n");
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "make-dir" && argc == 4) return makeDir(argv[2], atol(argv[3]), NameKind::latin);
  if (command == "make-dir" && argc == 5 && std::string(argv[4]) == "cjk")
    return makeDir(argv[2], atol(argv[3]), NameKind::cjk);
  if (command == "make-dir" && argc == 5 && std::string(argv[4]) == "arabic")
    return makeDir(argv[2], atol(argv[3]), NameKind::arabic);
  if (command == "reference" && argc == 3) return reference(argv[2]);
  if (command == "ls" && argc == 3) return runLs(argv[2]);
  if (command == "run" && argc == 6) return run(argv[2], argv[3], argv[4], atoi(argv[5]));
  if (command == "table" && argc == 3) return table(argv[2]);
  fprintf(stderr, "usage: see the comment at the top of bench/e2e_probe.cpp\n");
  return 2;
}
