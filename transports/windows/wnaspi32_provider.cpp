#include "transports/windows/wnaspi32_provider.h"

#include <cstdio>

namespace {

// The service's library is looked for next to the program and in the system
// folder, never in the current folder: a library planted there would run
// with the program's rights (administrator, for the pass-through).
HMODULE LoadFromTrustedFolders(const char* library) {
  HMODULE module = LoadLibraryExA(
      library, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
    // A system without those search flags: take the current folder out of
    // the search instead.
    SetDllDirectoryA("");
    module = LoadLibraryA(library);
  }
  return module;
}

}  // namespace

std::unique_ptr<Wnaspi32Provider> Wnaspi32Provider::Load(const char* library,
                                                         std::string& problem) {
  HMODULE module = LoadFromTrustedFolders(library);
  if (module == nullptr) {
    char text[96];
    std::snprintf(text, sizeof text, "%s not loaded (error %lu)", library,
                  static_cast<unsigned long>(GetLastError()));
    problem = text;
    return nullptr;
  }
  // The service exports its entry points by ordinal.
  FARPROC first = GetProcAddress(module, MAKEINTRESOURCEA(1));
  FARPROC second = GetProcAddress(module, MAKEINTRESOURCEA(2));
  if (first == nullptr || second == nullptr) {
    FreeLibrary(module);
    problem = std::string(library) + " lacks the entry points 1 and 2";
    return nullptr;
  }
  return std::unique_ptr<Wnaspi32Provider>(new Wnaspi32Provider(
      module, reinterpret_cast<SupportInfoEntry>(reinterpret_cast<void*>(first)),
      reinterpret_cast<SendCommandEntry>(reinterpret_cast<void*>(second))));
}

Wnaspi32Provider::Wnaspi32Provider(HMODULE module, SupportInfoEntry supportInfo,
                                   SendCommandEntry sendCommand)
    : module_(module), supportInfo_(supportInfo), sendCommand_(sendCommand) {}

Wnaspi32Provider::~Wnaspi32Provider() {
  FreeLibrary(module_);
}

aspi::DWORD Wnaspi32Provider::GetSupportInfo() {
  return supportInfo_();
}

aspi::DWORD Wnaspi32Provider::SendCommand(void* srb) {
  return sendCommand_(srb);
}
