/* The mailbox of target_core_user: the kernel writes cmd_head, the serving
 * process cmd_tail; entries between them are posted and not yet answered.
 * Offsets in entries (command block, data segments) count from the start
 * of the mapping. */
#include "command_ring.h"

#include <linux/target_core_user.h>
#include <string.h>

static struct tcmu_mailbox* Mailbox(const struct CommandRing* ring) {
  return (struct tcmu_mailbox*)ring->base;
}

uint32_t RingSize(const struct CommandRing* ring) {
  return Mailbox(ring)->cmdr_size;
}

uint32_t RingHead(const struct CommandRing* ring) {
  return __atomic_load_n(&Mailbox(ring)->cmd_head, __ATOMIC_ACQUIRE);
}

uint32_t RingTail(const struct CommandRing* ring) {
  return Mailbox(ring)->cmd_tail;
}

uint32_t RingNext(const struct CommandRing* ring, const struct RingEntry* entry) {
  const uint32_t offset = (uint32_t)(entry->at - ring->base) - Mailbox(ring)->cmdr_off;
  return (offset + entry->length) % Mailbox(ring)->cmdr_size;
}

static const char* TaskFunction(uint8_t type) {
  switch (type) {
    case TCMU_TMR_ABORT_TASK:
      return "ABORT_TASK";
    case TCMU_TMR_ABORT_TASK_SET:
      return "ABORT_TASK_SET";
    case TCMU_TMR_CLEAR_ACA:
      return "CLEAR_ACA";
    case TCMU_TMR_CLEAR_TASK_SET:
      return "CLEAR_TASK_SET";
    case TCMU_TMR_LUN_RESET:
      return "LUN_RESET";
    case TCMU_TMR_TARGET_WARM_RESET:
      return "TARGET_WARM_RESET";
    case TCMU_TMR_TARGET_COLD_RESET:
      return "TARGET_COLD_RESET";
    case TCMU_TMR_LUN_RESET_PRO:
      return "LUN_RESET_PRO";
    default:
      return "UNKNOWN";
  }
}

/* A task management entry: its type, and the ids of the commands (already
 * in the ring) it concerns. */
static void ReadTaskManagement(struct RingEntry* entry) {
  struct tcmu_tmr_entry request;
  memcpy(&request, entry->at, sizeof request);
  entry->isTaskManagement = 1;
  entry->taskFunction = TaskFunction(request.tmr_type);
  entry->taskCommandCount = request.cmd_cnt;
  for (uint32_t i = 0; i < request.cmd_cnt && i < kRingMaxTaskIds; ++i) {
    memcpy(&entry->taskIds[i], entry->at + sizeof request + i * sizeof(uint16_t), sizeof(uint16_t));
  }
}

int RingPeek(const struct CommandRing* ring, struct RingEntry* entry) {
  return RingPeekAt(ring, RingTail(ring), entry);
}

int RingPeekAt(const struct CommandRing* ring, uint32_t offset, struct RingEntry* entry) {
  struct tcmu_mailbox* mailbox = Mailbox(ring);
  if (offset == RingHead(ring)) return 0;
  memset(entry, 0, sizeof *entry);
  entry->at = ring->base + mailbox->cmdr_off + offset;
  struct tcmu_cmd_entry request;
  memcpy(&request, entry->at, sizeof request);
  entry->length = tcmu_hdr_get_len(request.hdr.len_op);
  entry->id = request.hdr.cmd_id;
  entry->isCommand = tcmu_hdr_get_op(request.hdr.len_op) == TCMU_OP_CMD;
  if (tcmu_hdr_get_op(request.hdr.len_op) == TCMU_OP_TMR) ReadTaskManagement(entry);
  if (!entry->isCommand) return 1;
  if (request.req.iov_cnt > kRingMaxSegments) return -1;
  entry->cdb = ring->base + request.req.cdb_off;
  entry->segmentCount = request.req.iov_cnt;
  for (unsigned i = 0; i < entry->segmentCount; ++i) {
    struct iovec iov;
    memcpy(&iov, entry->at + offsetof(struct tcmu_cmd_entry, req.iov) + i * sizeof iov, sizeof iov);
    entry->segments[i].bytes = ring->base + (uintptr_t)iov.iov_base;
    entry->segments[i].length = iov.iov_len;
  }
  return 1;
}

void RingAnswer(const struct CommandRing* ring, const struct RingEntry* entry, uint8_t status,
                const uint8_t* sense, size_t senseLength, size_t dataInLength, size_t dataLength) {
  struct tcmu_cmd_entry answer;
  memcpy(&answer, entry->at, sizeof answer);
  memset(&answer.rsp, 0, sizeof answer.rsp);
  answer.rsp.scsi_status = status;
  if (senseLength > TCMU_SENSE_BUFFERSIZE) senseLength = TCMU_SENSE_BUFFERSIZE;
  if (senseLength > 0) memcpy(answer.rsp.sense_buffer, sense, senseLength);
  if (dataInLength < dataLength && (Mailbox(ring)->flags & TCMU_MAILBOX_FLAG_CAP_READ_LEN)) {
    answer.hdr.uflags |= TCMU_UFLAG_READ_LEN;
    answer.rsp.read_len = (uint32_t)dataInLength;
  }
  memcpy(entry->at, &answer, sizeof answer);
}

void RingRelease(const struct CommandRing* ring, const struct RingEntry* entry) {
  struct tcmu_mailbox* mailbox = Mailbox(ring);
  const uint32_t tail = (mailbox->cmd_tail + entry->length) % mailbox->cmdr_size;
  __atomic_store_n(&mailbox->cmd_tail, tail, __ATOMIC_RELEASE);
}
