#include "app/run_options.h"

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "discovery/device_table.h"
#include "discovery/scan_record.h"

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
