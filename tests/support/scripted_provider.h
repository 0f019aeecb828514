// A provider for the device tests whose answers each test writes itself, and
// which keeps a copy of every request block as it was handed over.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "aspi/aspi_device.h"
#include "aspi/aspi_provider.h"
#include "aspi/srb_access.h"

struct HandOver {
  std::uint8_t kind;
  SRB_ExecSCSICmd exec;         // valid when kind is SC_EXEC_SCSI_CMD
  std::uint8_t senseBeyond[2];  // the two sense bytes behind SenseArea
  void* address;
};

class ScriptedProvider : public AspiProvider {
 public:
  ScriptedProvider() { InstallAspiProvider(this); }
  ~ScriptedProvider() override { InstallAspiProvider(nullptr); }

  aspi::DWORD GetSupportInfo() override {
    ++supportInfoCalls;
    return supportInfo;
  }

  aspi::DWORD SendCommand(void* srb) override {
    HandOver copy{};
    copy.kind = static_cast<SRB_Header*>(srb)->SRB_Cmd;
    copy.address = srb;
    if (copy.kind == SC_EXEC_SCSI_CMD) {
      std::memcpy(&copy.exec, srb, sizeof(SRB_ExecSCSICmd));
      std::memcpy(copy.senseBeyond, static_cast<std::uint8_t*>(srb) + sizeof(SRB_ExecSCSICmd), 2);
    }
    received.push_back(copy);
    if (copy.kind == SC_ABORT_SRB) {
      // Ends the command it names, as a service does, when told to succeed.
      auto* abort = static_cast<SRB_Abort*>(srb);
      auto* victim = static_cast<SRB_ExecSCSICmd*>(abort->SRB_ToAbort);
      if (abortResult == SS_COMP && victim != nullptr &&
          LoadSrbByte(victim->SRB_Status) == SS_PENDING) {
        StoreSrbByte(victim->SRB_Status, SS_ABORTED);
        if ((victim->SRB_Flags & SRB_POSTING) != 0) victim->SRB_PostProc(victim);
      }
      StoreSrbByte(abort->SRB_Status, abortResult);
      return abortResult;
    }
    if (answer) return answer(srb);
    return Complete(srb, SS_COMP);
  }

  const char* Name() const override { return "scripted"; }

  // Finishes an execute request: sense bytes (if any) from SenseArea on, then
  // the status.
  static aspi::DWORD Complete(void* srb, std::uint8_t status,
                              const std::vector<std::uint8_t>& sense = {}) {
    auto* s = static_cast<SRB_ExecSCSICmd*>(srb);
    std::uint8_t* area = static_cast<std::uint8_t*>(srb) + offsetof(SRB_ExecSCSICmd, SenseArea);
    if (!sense.empty()) std::memcpy(area, sense.data(), sense.size());
    StoreSrbByte(s->SRB_Status, status);
    return status;
  }

  int CountOf(std::uint8_t kind) const {
    int count = 0;
    for (const HandOver& h : received) count += h.kind == kind ? 1 : 0;
    return count;
  }

  aspi::DWORD supportInfo = (static_cast<aspi::DWORD>(SS_COMP) << 8) | 1;
  int supportInfoCalls = 0;
  std::uint8_t abortResult = SS_COMP;
  std::function<aspi::DWORD(void*)> answer;
  std::vector<HandOver> received;
};
