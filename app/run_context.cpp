#include "app/run_context.h"

#include "image/firmware_image.h"

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "discovery/device_table.h"
#include "discovery/scan_record.h"
#include "resources/resource_ids.h"

void ResetApplicationState() {
  g_deviceCount = 0;
  g_pictureToggle = 0;
  g_downloadDone = 0;
}

void RecordShownText(RunRecord& record, int slot, const char* text) {
  if (record.mainWindowClosed) return;
  std::string* shown = nullptr;
  switch (slot) {
    case kIdStatus:
      shown = &record.statusLine;
      break;
    case kIdFileName:
      shown = &record.imageFile;
      break;
    case kRowChecksum:
      shown = &record.checksum;
      break;
    case kRowModel:
      shown = &record.model;
      break;
    case kRowRevision:
      shown = &record.revision;
      break;
    case kRowNewVersion:
      shown = &record.newRevision;
      break;
    default:
      return;
  }
  // What a text buffer of the window holds, as a name box gives it.
  constexpr auto kShownBytes = static_cast<std::size_t>(kMaxImagePathLength);
  *shown = std::string(text == nullptr ? "" : text).substr(0, kShownBytes);
}

std::string UnseenNotesForBox(const RunRequest& request) {
  const std::string notes = request.takeUnseenNotes ? request.takeUnseenNotes() : "";
  return notes.empty() ? notes : "\n\nThe program also noted:\n" + notes;
}
