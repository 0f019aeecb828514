// The ASPI for Win32 service itself: wnaspi32.dll, loaded at run time (so
// the program still starts where it is missing) and called through its
// ordinals 1 (GetASPI32SupportInfo) and 2 (SendASPI32Command).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>
#include <string>

#include "aspi/aspi_provider.h"

class Wnaspi32Provider : public AspiProvider {
 public:
  // Loads `library` (normally "wnaspi32.dll") from the program's folder or
  // the system folder (never the current folder) and finds both entry
  // points. On failure returns nullptr and says why in `problem`.
  static std::unique_ptr<Wnaspi32Provider> Load(const char* library, std::string& problem);
  ~Wnaspi32Provider() override;
  Wnaspi32Provider(const Wnaspi32Provider&) = delete;
  Wnaspi32Provider& operator=(const Wnaspi32Provider&) = delete;

  aspi::DWORD GetSupportInfo() override;
  aspi::DWORD SendCommand(void* srb) override;
  const char* Name() const override { return "aspi"; }

 private:
  using SupportInfoEntry = DWORD(__cdecl*)();
  using SendCommandEntry = DWORD(__cdecl*)(void*);
  Wnaspi32Provider(HMODULE module, SupportInfoEntry supportInfo, SendCommandEntry sendCommand);

  HMODULE module_;
  SupportInfoEntry supportInfo_;
  SendCommandEntry sendCommand_;
};
