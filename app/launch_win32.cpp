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

#include <cwctype>
#include <string>

#include "zub/wide_win32.h"

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// True when the old path rules leave `name` as it is: no trailing dot or
// blank, and not a device ("con", "nul.txt", "com1.log", ...).
bool shellKeepsName(const std::wstring& name) {
  if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
  std::wstring stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) c = static_cast<wchar_t>(std::towlower(c));
  for (const wchar_t* device : {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"})
    if (stem == device) return false;
  return !(stem.size() == 4 && (stem.compare(0, 3, L"com") == 0 || stem.compare(0, 3, L"lpt") == 0) &&
           stem[3] >= L'0' && stem[3] <= L'9');
}

// True when the shell reads `path` (no "\\?\" form) as exactly this path.
bool shellKeepsPath(const std::wstring& path) {
  if (path.size() >= MAX_PATH) return false;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !isSeparator(path[i])) continue;
    const std::wstring part = path.substr(start, i - start);
    if (!part.empty() && part != L"." && part != L".." && !shellKeepsName(part)) return false;
    start = i + 1;
  }
  return true;
}

// `path` without its "\\?\" prefix ("\\?\UNC\s\x" becomes "\\s\x").
std::wstring withoutVerbatimPrefix(const std::wstring& path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

// The short alias of the existing `verbatimPath`, in plain form; empty when
// the volume keeps no alias that the shell would read unchanged.
std::wstring shortAlias(const std::wstring& verbatimPath) {
  const DWORD size = GetShortPathNameW(verbatimPath.c_str(), nullptr, 0);
  if (size == 0) return std::wstring();
  std::wstring alias(size, L'\0');
  const DWORD length = GetShortPathNameW(verbatimPath.c_str(), alias.data(), size);
  if (length == 0 || length >= size) return std::wstring();
  alias.resize(length);
  alias = withoutVerbatimPrefix(alias);
  return shellKeepsPath(alias) ? alias : std::wstring();
}

// The path to hand the shell for the file at `exact` ("\\?\" form): the
// plain path where the shell keeps it; else the folder's alias and the
// file's own name, so the type the name shows still picks the
// application; else the alias of the whole path. Empty when there is none.
std::wstring shellPath(const std::wstring& exact) {
  const std::wstring plain = withoutVerbatimPrefix(exact);
  if (shellKeepsPath(plain)) return plain;
  const size_t cut = exact.find_last_of(L'\\');
  const std::wstring name = exact.substr(cut + 1);
  if (shellKeepsName(name)) {
    const std::wstring folder = shortAlias(exact.substr(0, cut));
    if (!folder.empty() && shellKeepsPath(folder + L"\\" + name)) return folder + L"\\" + name;
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
  const std::wstring file = shellPath(exact);
  if (file.empty()) return;
  // The program starts in the folder that holds the file, as a file
  // manager starts it: scripts and games find what lies beside them.
  const size_t folderEnd = file.find_last_of(L'\\');
  std::wstring folder = folderEnd == std::wstring::npos ? std::wstring() : file.substr(0, folderEnd);
  if (!folder.empty() && folder.back() == L':') folder += L'\\';

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
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&info);
}
