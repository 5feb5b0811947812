// The file itself goes to the shell's "open" operation, which runs a
// program and opens anything else with the application registered for its
// type. It never passes through cmd.exe: the command interpreter would
// expand %VAR% and act on & | ^ ( ) inside a file name, so a file named
// "a&calc.txt" would become a command.
//
// The shell takes a path by the old rules: it trims trailing dots and
// blanks, maps "con.txt" to a device and stops at 260 characters, and the
// "\\?\" form and item id lists do not get past that everywhere (wine trims
// them too, or refuses them). So a name those rules would change is handed
// over by its short (8.3) alias, which names exactly this file; where the
// volume keeps none, nothing is launched rather than a neighbour.
#include "app/launch.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "zub/path.h"
#include "zub/wide_win32.h"

namespace {

// Paths here are UTF-8 as toUtf8() gives them (zub/wide_win32.h), so the
// string rules of zub/path.h apply; the system gets them back as UTF-16.
std::wstring utf16(const std::string& path) {
  std::wstring converted;
  zub::wide::fromWtf8(path, converted);
  return converted;
}

// True when the shell reads `path` (no "\\?\" form) as exactly this path.
bool shellKeepsPath(const std::string& path) {
  return utf16(path).size() < MAX_PATH && zub::keepsAllNames(path, zub::PathStyle::windows);
}

// The short alias of the existing `exactPath` ("\\?\" form), in plain
// form; empty when the volume keeps no alias that the shell would read
// unchanged.
std::string shortAlias(const std::string& exactPath) {
  const std::wstring exact = utf16(exactPath);
  const DWORD size = GetShortPathNameW(exact.c_str(), nullptr, 0);
  if (size == 0) return std::string();
  std::wstring alias(size, L'\0');
  const DWORD length = GetShortPathNameW(exact.c_str(), alias.data(), size);
  if (length == 0 || length >= size) return std::string();
  alias.resize(length);
  const std::string plain = zub::plainPath(zub::wide::toUtf8(alias), zub::PathStyle::windows);
  return shellKeepsPath(plain) ? plain : std::string();
}

// The path to hand the shell for the file at `exact` ("\\?\" form): the
// plain path where the shell keeps it; else the folder's alias and the
// file's own name, so the type the name shows still picks the
// application; else the alias of the whole path. Empty when there is none.
std::string shellPath(const std::string& exact) {
  const std::string plain = zub::plainPath(exact, zub::PathStyle::windows);
  if (shellKeepsPath(plain)) return plain;
  const size_t cut = exact.find_last_of('\\');
  const std::string name = exact.substr(cut + 1);
  if (zub::keepsName(name, zub::PathStyle::windows)) {
    const std::string folder = shortAlias(exact.substr(0, cut));
    if (!folder.empty() && shellKeepsPath(folder + "\\" + name)) return folder + "\\" + name;
  }
  return shortAlias(exact);
}

}  // namespace

void launchFile(const std::string& fullPath) {
  if (fullPath.empty() || fullPath.find('\0') != std::string::npos) return;
  // A name that is not UTF-8 (an unpaired surrogate as listed) is never
  // launched as the different name its conversion would make.
  const std::wstring exact = zub::wide::filePath(fullPath);
  if (exact.empty()) return;
  const std::string shellFile = shellPath(zub::wide::toUtf8(exact));
  if (shellFile.empty()) return;
  const std::wstring file = utf16(shellFile);
  // The program starts in the folder that holds the file, as a file
  // manager starts it: scripts and games find what lies beside them.
  const std::wstring folder = utf16(zub::folderOf(shellFile, zub::PathStyle::windows));

  // Some shell handlers are COM objects that want a single-threaded
  // apartment on the calling thread; it is set up once and kept.
  static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  (void)com;

  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // No message box when no application is registered for the file: a
  // launch that fails shows nothing, and the file stays marked.
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&info);
}
