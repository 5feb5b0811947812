// A stand-in application for the Windows launch tests, registered as the
// handler of a test file type. Each run records the arguments it got, as
// the runtime split its command line, one per line, into
// <its own folder>\records\<process id>; the file appears whole (written
// beside, then renamed), so a reader never sees half a record. When a file
// copy-source lies beside the program, the file it names is first copied,
// as it is when the run starts, to records\<process id>.copy.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self) return 1;
  std::string folder(self, length);
  folder.erase(folder.find_last_of('\\') + 1);
  const std::string dir = folder + "records";
  CreateDirectoryA(dir.c_str(), nullptr);

  const std::string record = dir + "\\" + std::to_string(GetCurrentProcessId());
  const std::string copySource = readAll(folder + "copy-source");
  if (!copySource.empty()) {
    std::ofstream copy(record + ".copy", std::ios::binary);
    copy << readAll(copySource);
    if (!copy) return 1;
  }
  const std::string partial = record + ".part";
  FILE* out = std::fopen(partial.c_str(), "wb");
  if (out == nullptr) return 1;
  for (int i = 1; i < argc; ++i) std::fprintf(out, "%s\n", argv[i]);
  std::fclose(out);
  return MoveFileA(partial.c_str(), record.c_str()) ? 0 : 1;
}
