#include "zub/settings_trust.h"

#include <windows.h>

#include "zub/fs.h"
#include "zub/path.h"
#include "zub/platform.h"
#include "zub/wide_win32.h"

// Windows has no owner and mode bits that another user could plant a file
// past; the folder's access rules decide who may write there, and files
// are named by their paths.
namespace zub {
namespace {

SettingsLocation locationAt(const std::string& path) {
  SettingsLocation location;
  location.path = path;
  location.folder.path = folderOf(path);
  location.name = baseName(path.c_str());
  return location;
}

SettingsLocation failure(const std::string& problem) {
  SettingsLocation location;
  location.problem = problem;
  return location;
}

}  // namespace

SettingsFolder::SettingsFolder(SettingsFolder&& other) noexcept
    : handle(other.handle), path(std::move(other.path)) {
  other.handle = -1;
}

SettingsFolder& SettingsFolder::operator=(SettingsFolder&& other) noexcept {
  handle = other.handle;
  path = std::move(other.path);
  other.handle = -1;
  return *this;
}

SettingsFolder::~SettingsFolder() = default;

SettingsUserScope::SettingsUserScope() = default;

SettingsUserScope::~SettingsUserScope() = default;

bool settingsOfAnotherUser() { return false; }

// A link or junction is passed over, as openSettingsFileAt() and
// replaceFile() would refuse it anyway.
SettingsLocation usableSettingsFile(const std::string& candidate) {
  const DWORD attributes = GetFileAttributesW(wide::filePath(candidate).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      !platform::readableFile(candidate.c_str()))
    return failure(candidate + ": not a usable settings file");
  return locationAt(candidate);
}

// The folder's access rules come from its parent, as for any other.
SettingsLocation makeSettingsFile(const std::string& candidate) {
  const std::string folder = folderOf(candidate);
  if (!platform::pathExists(folder.c_str())) {
    makeDirs(folderOf(folder).c_str());
    platform::makeDirectory(folder.c_str());
  }
  if (platform::pathExists(candidate.c_str()))
    return failure(candidate + ": taken by something that is not a usable settings file");
  const HANDLE file = CreateFileW(wide::filePath(candidate).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return failure(candidate + ": no new file can be made there");
  CloseHandle(file);
  return locationAt(candidate);
}

FILE* openSettingsFileAt(const SettingsLocation& location, const char* mode) {
  if (location.path.empty()) return nullptr;
  return platform::openRegularFile(location.path.c_str(), mode);
}

bool replaceableSettingsFile(const SettingsLocation& location, int& error) {
  error = 0;
  const DWORD attributes = GetFileAttributesW(wide::filePath(location.path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

}  // namespace zub
