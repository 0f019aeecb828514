// The two entry points of the service, answered by the provider chosen at
// start-up. Without a provider they answer as a machine without the service.
#include "aspi/aspi_provider.h"

#include <atomic>

namespace {
std::atomic<AspiProvider*> g_provider{nullptr};
}  // namespace

void InstallAspiProvider(AspiProvider* provider) {
  g_provider.store(provider, std::memory_order_release);
}

AspiProvider* InstalledAspiProvider() {
  return g_provider.load(std::memory_order_acquire);
}

aspi::DWORD GetASPI32SupportInfo() {
  AspiProvider* provider = InstalledAspiProvider();
  if (provider == nullptr) return static_cast<aspi::DWORD>(SS_NO_ASPI) << 8;
  return provider->GetSupportInfo();
}

aspi::DWORD SendASPI32Command(void* srb) {
  AspiProvider* provider = InstalledAspiProvider();
  // Without a service there is nobody to answer, and a block we were handed
  // is not ours to write: only the return value says what happened.
  if (provider == nullptr) return SS_NO_ASPI;
  if (srb == nullptr) return SS_INVALID_SRB;
  return provider->SendCommand(srb);
}
