#include "UnderWine.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace dikton::test {

#ifdef _WIN32
// Wine's ntdll exports wine_get_version; Windows' does not.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
#else
bool UnderWine() { return false; }
#endif

}  // namespace dikton::test
