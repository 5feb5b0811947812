// The Windows launch recorder: launch_recorder.exe (tests/app), copied from
// beside the running test program, registered as the application of a file
// type for as long as the object lives. The program writes each run's
// arguments, one per line, to records\<process id> in its own folder, and
// the file named in copy-source beside it to records\<process id>.copy.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/launch_recorder.h"

namespace testing_support {

namespace {

const char recorderClass[] = "orchard.test.recorder";

std::string ownFolder() {
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string path(self, length < sizeof self ? length : 0);
  return path.substr(0, path.find_last_of('\\') + 1);
}

bool setDefaultValue(const std::string& key, const std::string& value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const LONG result = RegSetValueExA(handle, nullptr, 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1));
  RegCloseKey(handle);
  return result == ERROR_SUCCESS;
}

// The default value of HKCR\`key`; false when the key or value is missing.
bool getDefaultValue(const std::string& key, std::string& value) {
  char buffer[1024];
  DWORD size = sizeof buffer;
  if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer,
                   &size) != ERROR_SUCCESS)
    return false;
  value = buffer;
  return true;
}

std::string readText(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

LaunchRecorder::~LaunchRecorder() {
  if (!registered_) return;
  HKEY handle = nullptr;
  if (hadType_) {
    setDefaultValue(extension_, previousType_);
  } else if (typeKeyExisted_) {
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, extension_.c_str(), 0, KEY_SET_VALUE, &handle) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(handle, nullptr);
      RegCloseKey(handle);
    }
  } else {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, extension_.c_str());
  }
  RegDeleteTreeA(HKEY_CLASSES_ROOT, recorderClass);
}

bool LaunchRecorder::install(const std::string& folder, const std::string& extension,
                             EnvGuard&, const std::string& copyFile) {
  folder_ = folder;
  std::replace(folder_.begin(), folder_.end(), '/', '\\');
  extension_ = extension;
  if (!makeDir(folder_)) return false;
  const std::string recorder = folder_ + "\\launch_recorder.exe";
  if (!CopyFileW(std::filesystem::u8path(ownFolder() + "launch_recorder.exe").c_str(),
                 std::filesystem::u8path(recorder).c_str(), FALSE))
    return false;
  if (!copyFile.empty() && !writeFile(folder_ + "\\copy-source", copyFile)) return false;
  if (!registered_) {
    HKEY handle = nullptr;
    typeKeyExisted_ = RegOpenKeyExA(HKEY_CLASSES_ROOT, extension_.c_str(), 0, KEY_READ,
                                    &handle) == ERROR_SUCCESS;
    if (typeKeyExisted_) RegCloseKey(handle);
    hadType_ = getDefaultValue(extension_, previousType_);
    registered_ = true;
  }
  return setDefaultValue(extension_, recorderClass) &&
         setDefaultValue(std::string(recorderClass) + "\\shell\\open\\command",
                         "\"" + recorder + "\" \"%1\"");
}

std::vector<LaunchRecord> LaunchRecorder::records() const {
  std::vector<LaunchRecord> records;
  const std::string dir = folder_ + "\\records\\";
  // A record appears whole, after its copy; names with a dot are parts.
  for (const std::string& name : namesIn(dir)) {
    if (name.find('.') != std::string::npos) continue;
    LaunchRecord record;
    const std::string lines = readText(dir + name);
    std::size_t start = 0;
    while (start < lines.size()) {
      const std::size_t end = lines.find('\n', start);
      record.arguments.push_back(lines.substr(start, end - start));
      start = end == std::string::npos ? lines.size() : end + 1;
    }
    record.copiedFile = readText(dir + name + ".copy");
    record.workingDirectory = readFile(dir + name + ".cwd");
    records.push_back(record);
  }
  return records;
}

}  // namespace testing_support
