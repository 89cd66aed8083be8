// The only code that runs when the companion library is loaded on Windows: thread attach and detach
// notifications are turned off because the library keeps no per-thread state.
#ifdef _WIN32
#include <windows.h>

BOOL APIENTRY DllMain(HMODULE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
  return TRUE;
}
#endif
