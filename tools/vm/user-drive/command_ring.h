/* The command ring that target_core_user shares with the process serving a
 * device: a mailbox, a ring of command entries and a data area, all in the
 * one mapping of /dev/uioN. Written in C: the kernel's header is C only. */
#ifndef QTR5_VM_COMMAND_RING_H
#define QTR5_VM_COMMAND_RING_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { kRingMaxSegments = 64 };

struct RingSegment {
  uint8_t* bytes; /* in the mapping */
  size_t length;
};

/* One posted entry. Only commands carry a block and segments; other entries
 * (padding at the ring's end, task management) are skipped by the caller. */
struct RingEntry {
  uint8_t* at;
  uint32_t length; /* of the entry in the ring */
  int isCommand;
  const uint8_t* cdb; /* as many bytes as the kernel copied for the opcode */
  unsigned segmentCount;
  struct RingSegment segments[kRingMaxSegments];
};

struct CommandRing {
  uint8_t* base;
};

uint32_t RingSize(const struct CommandRing* ring);
/* Fills `entry` with the entry at the tail; 0 when the kernel posted none,
 * -1 when a command has more segments than kRingMaxSegments. */
int RingPeek(const struct CommandRing* ring, struct RingEntry* entry);
/* Writes the answer over the entry (the answer overlays the request, so read
 * the request first). `dataInLength` is reported only when it falls short
 * of the segments' total and the kernel accepts a read length. */
void RingAnswer(const struct CommandRing* ring, const struct RingEntry* entry, uint8_t status,
                const uint8_t* sense, size_t senseLength, size_t dataInLength, size_t dataLength);
/* Hands the entry back: moves the tail past it. */
void RingRelease(const struct CommandRing* ring, const struct RingEntry* entry);

#ifdef __cplusplus
}
#endif

#endif
