// A library shaped like the ASPI service: entry points by ordinal only.
// The tests set what ordinal 1 answers and read back what ordinal 2 got.
#include <windows.h>

namespace {
DWORD g_supportInfo = 0xE800;  // SS_NO_ADAPTERS, no adapter
void* g_lastRequest = nullptr;
}  // namespace

extern "C" {
DWORD __cdecl GetASPI32SupportInfo() {
  return g_supportInfo;
}

DWORD __cdecl SendASPI32Command(void* request) {
  g_lastRequest = request;
  auto* bytes = static_cast<unsigned char*>(request);
  bytes[1] = 0x01;  // SRB_Status = SS_COMP
  return 0x01;
}

void __cdecl TestSetSupportInfo(DWORD value) {
  g_supportInfo = value;
}

void* __cdecl TestLastRequest() {
  return g_lastRequest;
}
}
