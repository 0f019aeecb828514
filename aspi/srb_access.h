// Access to the bytes that the service and the program share while a command
// runs. The service may finish a command on a thread of its own: it writes
// the data and the sense bytes first and then stores the final SRB_Status
// with release order; the program reads SRB_Status and SenseArea[0] with
// acquire order on every poll, so it never works from a cached copy and sees
// the data that came with the status.
#pragma once

#include <atomic>
#include <cstdint>

inline std::uint8_t LoadSrbByte(const std::uint8_t& byte) {
  return std::atomic_ref<std::uint8_t>(const_cast<std::uint8_t&>(byte))
      .load(std::memory_order_acquire);
}

inline void StoreSrbByte(std::uint8_t& byte, std::uint8_t value) {
  std::atomic_ref<std::uint8_t>(byte).store(value, std::memory_order_release);
}

// g_commandPending is a volatile byte that a completion routine may clear
// from the service's thread; these give its reads and writes the same
// ordering as the status byte.
inline std::uint8_t LoadPendingFlag(const volatile std::uint8_t& flag) {
#if defined(__GNUC__) || defined(__clang__)
  return __atomic_load_n(&flag, __ATOMIC_ACQUIRE);
#else
  return flag;
#endif
}

inline void StorePendingFlag(volatile std::uint8_t& flag, std::uint8_t value) {
#if defined(__GNUC__) || defined(__clang__)
  __atomic_store_n(&flag, value, __ATOMIC_RELEASE);
#else
  flag = value;
#endif
}
