/* The command ring that target_core_user shares with the process serving a
 * device: a mailbox, a ring of command entries and a data area, all in the
 * one mapping of /dev/uioN. Written in C: the kernel's header is C only. */
#ifndef QTR5_VM_COMMAND_RING_H
#define QTR5_VM_COMMAND_RING_H

/* NOLINTBEGIN(modernize-deprecated-headers): a C header, compiled as C too */
#include <stddef.h>
#include <stdint.h>
/* NOLINTEND(modernize-deprecated-headers) */

#ifdef __cplusplus
extern "C" {
#endif

enum { kRingMaxSegments = 64 };

struct RingSegment {
  uint8_t* bytes; /* in the mapping */
  size_t length;
};

enum { kRingMaxTaskIds = 16 };

/* One posted entry. Only commands carry a block and segments; a task
 * management request (an abort or a reset the initiator sent) names its
 * type and the commands it concerns; padding at the ring's end carries
 * nothing. */
struct RingEntry {
  uint8_t* at;
  uint32_t length; /* of the entry in the ring */
  int isCommand;
  int isTaskManagement;
  uint16_t id;        /* the command's id, as task management requests name it */
  const uint8_t* cdb; /* as many bytes as the kernel copied for the opcode */
  unsigned segmentCount;
  struct RingSegment segments[kRingMaxSegments];
  const char* taskFunction;  /* "ABORT_TASK", "LUN_RESET", ... */
  uint32_t taskCommandCount; /* commands it concerns (ids: the first ones) */
  uint16_t taskIds[kRingMaxTaskIds];
};

struct CommandRing {
  uint8_t* base;
};

uint32_t RingSize(const struct CommandRing* ring);
/* Where the kernel posts next, and where the oldest unanswered entry is:
 * offsets in the ring; the entries between them are posted. */
uint32_t RingHead(const struct CommandRing* ring);
uint32_t RingTail(const struct CommandRing* ring);
/* The offset of the entry after `entry`. */
uint32_t RingNext(const struct CommandRing* ring, const struct RingEntry* entry);
/* Fills `entry` with the entry at the tail; 0 when the kernel posted none,
 * -1 when a command has more segments than kRingMaxSegments. */
int RingPeek(const struct CommandRing* ring, struct RingEntry* entry);
/* The same for the posted entry at `offset` (from RingTail or RingNext):
 * entries after the tail can be read before the ones before them are
 * answered. */
int RingPeekAt(const struct CommandRing* ring, uint32_t offset, struct RingEntry* entry);
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
