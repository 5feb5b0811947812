// A DLL planted beside orchard-menu.exe under the name of one it uses
// (glu32.dll): loading it leaves the file planted-dll-ran in its folder.
// The Windows end-to-end test puts it there and checks that it never runs.
#include <windows.h>

extern "C" __declspec(dllexport) int gluBuild2DMipmaps(unsigned, int, int, int, unsigned,
                                                       unsigned, const void*) {
  return 0;
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 16];
  DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  while (length > 0 && path[length - 1] != L'\\') --length;
  lstrcpyW(path + length, L"planted-dll-ran");
  const HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return TRUE;
}
