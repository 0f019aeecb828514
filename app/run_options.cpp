#include "app/run_options.h"

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "discovery/device_table.h"
#include "discovery/scan_record.h"
#include "resources/resource_ids.h"

RunOptions g_runOptions;
RunOutcome g_runOutcome;

void ResetRunState() {
  g_runOptions = RunOptions{};
  g_runOutcome = RunOutcome{};
  g_deviceCount = 0;
  g_scanRecord.clear();
  g_pictureToggle = 0;
  g_downloadDone = 0;
}

void RecordShownText(int slot, const char* text) {
  if (g_runOutcome.mainWindowClosed) return;
  std::string* shown = nullptr;
  switch (slot) {
    case kIdStatus:
      shown = &g_runOutcome.statusLine;
      break;
    case kIdFileName:
      shown = &g_runOutcome.imageFile;
      break;
    case kRowChecksum:
      shown = &g_runOutcome.checksum;
      break;
    case kRowModel:
      shown = &g_runOutcome.model;
      break;
    case kRowRevision:
      shown = &g_runOutcome.revision;
      break;
    case kRowNewVersion:
      shown = &g_runOutcome.newRevision;
      break;
    default:
      return;
  }
  constexpr std::size_t kShownBytes = 259;
  *shown = std::string(text == nullptr ? "" : text).substr(0, kShownBytes);
}

std::string UnseenNotesForBox() {
  const std::string notes = g_runOptions.takeUnseenNotes ? g_runOptions.takeUnseenNotes() : "";
  return notes.empty() ? notes : "\n\nThe program also noted:\n" + notes;
}
