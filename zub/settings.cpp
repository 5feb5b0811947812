#include "zub/settings.h"

#include <nettle/md5.h>

#include <cstdlib>

#include "zub/fs.h"
#include "zub/path.h"

namespace zub {

std::vector<std::string> settingsCandidates(const std::string& folder,
                                            const std::string& file) {
  std::vector<std::string> candidates;
  const auto add = [&](const std::string& base, const char* dot) {
    candidates.push_back(toNative(base + "/" + dot + folder + "/" + file));
  };
  if (const char* appData = std::getenv("APPDATA")) add(appData, "");
  for (const char* name : {"USERPROFILE", "HOME", "HOMEPATH"})
    if (const char* home = std::getenv(name)) add(home, ".");
  add(".", ".");
  add(currentDir(), "");
  return candidates;
}

std::string findSettingsFile(const std::string& folder,
                             const std::string& file) {
  for (const std::string& candidate : settingsCandidates(folder, file))
    if (fileExists(candidate.c_str())) return candidate;
  return std::string();
}

FILE* openSettingsFile(const char* file, const char* mode) {
  std::string path = findSettingsFile(settingsFolder, file);
  if (path.empty()) {
    path = settingsCandidates(settingsFolder, file).front();
    makeDirs(dirName(path.c_str()).c_str());
    if (FILE* created = std::fopen(path.c_str(), "wb")) std::fclose(created);
  }
  return std::fopen(path.c_str(), mode);
}

std::string digestHex(const std::string& s) {
  md5_ctx context;
  md5_init(&context);
  md5_update(&context, s.size(), reinterpret_cast<const uint8_t*>(s.data()));
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(&context, sizeof digest, digest);

  static const char hex[] = "0123456789ABCDEF";
  std::string result;
  for (uint8_t byte : digest) {
    result += hex[byte >> 4];
    result += hex[byte & 0x0F];
  }
  return result;
}

}  // namespace zub
