// A stand-in application for the Windows launch tests, registered as the
// handler of a test file type. Each run records the arguments it got, as
// the system split its wide command line, in UTF-8, one per line, into
// <its own folder>\records\<process id>, and its working folder into
// records\<process id>.cwd; the record appears whole (written beside, then
// renamed), so a reader never sees half a record. When a file copy-source
// lies beside the program, the file it names (UTF-8) is first copied, as
// it is when the run starts, to records\<process id>.copy.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
  return out;
}

std::wstring wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  std::wstring out(size > 0 ? static_cast<size_t>(size) : 0, L'\0');
  if (size > 0)
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string readAll(const std::wstring& path) {
  std::string content;
  FILE* in = _wfopen(path.c_str(), L"rb");
  if (in == nullptr) return content;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) content.append(buffer, got);
  std::fclose(in);
  return content;
}

bool writeAll(const std::wstring& path, const std::string& content) {
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t self[32768];
  const DWORD length = GetModuleFileNameW(nullptr, self, 32768);
  if (length == 0 || length >= 32768) return 1;
  std::wstring folder(self, length);
  folder.erase(folder.find_last_of(L'\\') + 1);
  const std::wstring dir = folder + L"records";
  CreateDirectoryW(dir.c_str(), nullptr);

  const std::wstring record = dir + L"\\" + std::to_wstring(GetCurrentProcessId());
  const std::string copySource = readAll(folder + L"copy-source");
  if (!copySource.empty() && !writeAll(record + L".copy", readAll(wide(copySource)))) return 1;
  wchar_t working[32768];
  const DWORD workingLength = GetCurrentDirectoryW(32768, working);
  if (!writeAll(record + L".cwd", utf8(std::wstring(working, workingLength < 32768 ? workingLength : 0))))
    return 1;
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::string lines;
  for (int i = 1; arguments != nullptr && i < count; ++i) lines += utf8(arguments[i]) + "\n";
  const std::wstring partial = record + L".part";
  if (!writeAll(partial, lines)) return 1;
  return MoveFileW(partial.c_str(), record.c_str()) ? 0 : 1;
}
