// The main window's commands and its state table, row by row.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "app/main_dialog.h"
#include "app/run_context.h"
#include "resources/resource_ids.h"
#include "tests/app/app_harness.h"

namespace {

class MainWindowTest : public AppTest {
 protected:
  void Command(int id) {
    SendMessageA(Main(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(Main(), id)));
  }
  struct Controls {
    bool download, cancel, browse, fileName;
    int picture;
  };
  Controls State() const {
    return {Enabled(kIdDownload), Enabled(kIdCancel), Enabled(kIdBrowse), Enabled(kIdFileName),
            Picture()};
  }
};

void ExpectState(const char* row, bool download, bool cancel, bool browse, bool fileName,
                 int picture, bool actualDownload, bool actualCancel, bool actualBrowse,
                 bool actualFileName, int actualPicture) {
  SCOPED_TRACE(row);
  EXPECT_EQ(actualDownload, download);
  EXPECT_EQ(actualCancel, cancel);
  EXPECT_EQ(actualBrowse, browse);
  EXPECT_EQ(actualFileName, fileName);
  EXPECT_EQ(actualPicture, picture);
}

#define EXPECT_STATE(row, d, c, b, f, p)                                                    \
  do {                                                                                      \
    const Controls s = State();                                                             \
    ExpectState(row, d, c, b, f, p, s.download, s.cancel, s.browse, s.fileName, s.picture); \
  } while (0)

TEST_F(MainWindowTest, StartWithDefaultImagePresent) {
  WriteDefaultImage();
  AddDrive(0, 0);
  Start();
  EXPECT_STATE("default present", true, true, false, false, kBitmapLogo);
  EXPECT_EQ(driver_.Text(Main(), kIdFileName), "QTR5_ORNA.HEX");
  EXPECT_STREQ(g_defaultImageName, "QTR5_ORNA.HEX");
  EXPECT_TRUE(driver_.MessageBoxes().empty());
  // Neither the box nor the browse button can be used.
  EXPECT_FALSE(driver_.Type(Main(), kIdFileName, "other.hex"));
  EXPECT_FALSE(driver_.Click(Main(), kIdBrowse));
}

TEST_F(MainWindowTest, StartWithDefaultImageAbsent) {
  AddDrive(0, 0);
  Start();
  EXPECT_STATE("default absent", false, true, true, true, kBitmapLogo);
  EXPECT_EQ(driver_.Text(Main(), kIdFileName), "");
  ASSERT_EQ(driver_.MessageBoxes().size(), 1u);
  const qtr5::ShownMessageBox& box = driver_.MessageBoxes()[0];
  EXPECT_EQ(box.text, "QTR5_ORNA.HEX file not found.");
  EXPECT_EQ(box.caption, "ZAZADUZ_AUTO");
  EXPECT_EQ(box.Icon(), static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(box.owner, Main());
  // Typing a name enables Download; clearing the box disables it again.
  ASSERT_TRUE(driver_.Type(Main(), kIdFileName, "x"));
  EXPECT_TRUE(Enabled(kIdDownload));
  ASSERT_TRUE(driver_.Type(Main(), kIdFileName, ""));
  EXPECT_FALSE(Enabled(kIdDownload));
}

TEST_F(MainWindowTest, DefaultImageProbeNeverWritesAndNeedsAFile) {
  WriteDefaultImage(0, {1, 2, 3});
  const std::string before = HexFile(0, {1, 2, 3});
  const auto time = std::filesystem::last_write_time(kDefaultImageName);
  AddDrive(0, 0);
  Start();
  std::ifstream in(kDefaultImageName, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), before);
  EXPECT_EQ(std::filesystem::last_write_time(kDefaultImageName), time);
  EXPECT_EQ(ProbeDefaultImage(Main()), 1);
}

TEST_F(MainWindowTest, DirectoryNamedLikeTheDefaultImageCountsAsAbsent) {
  std::filesystem::create_directory(kDefaultImageName);
  AddDrive(0, 0);
  Start();
  EXPECT_EQ(driver_.Text(Main(), kIdFileName), "");
  EXPECT_TRUE(Enabled(kIdBrowse));
  ASSERT_EQ(driver_.MessageBoxes().size(), 1u);
}

// A drive not ready yet is said in the window's words, with a Retry that
// scans again and takes the drive once it is ready.
TEST_F(MainWindowTest, ADriveNotReadyYetGetsARetryThatTakesItOnceReady) {
  WriteDefaultImage();
  DeviceOptions becoming;
  becoming.faults.push_back({FaultKind::kBecomingReady, FaultScope::kAll});
  becoming.slowDelayMs = 15000;  // longer than the scan asks
  AddDevice(0, 0, becoming);
  Start();
  EXPECT_EQ(Status(), "The drive is not ready yet: press Retry");
  EXPECT_EQ(Picture(), kBitmapLogo) << "a drive is there";
  EXPECT_EQ(driver_.Text(Main(), kIdDownload), "&Retry");
  EXPECT_EQ(CountTo(0, 0, 0x1B), 0) << "nothing but INQUIRY reached it";
  ASSERT_TRUE(driver_.Click(Main(), kIdDownload));
  EXPECT_TRUE(app_->device.HasTarget());
  EXPECT_EQ(driver_.Text(Main(), kIdDownload), "&Download");
  EXPECT_EQ(Status(), "Ready: press Download to flash the drive");
  EXPECT_TRUE(Enabled(kIdDownload));
}

TEST_F(MainWindowTest, NoDriveFoundAtStartKeepsDownloadAwayFromEveryDevice) {
  WriteDefaultImage();
  DeviceOptions other;
  other.kind = DeviceKind::kCdrom;
  AddDevice(0, 3, other);
  run_.request.explainFailures = true;  // as the desktop program run by a person
  // What the transport knows comes first; what nobody saw yet comes last, once.
  run_.request.noDriveCause = [] { return std::string("Administrator rights are needed."); };
  std::string unseen = "CdRom0: access denied\n";
  run_.request.takeUnseenNotes = [&unseen] { return std::exchange(unseen, std::string()); };
  Start();
  EXPECT_STATE("no drive", false, true, false, false, kBitmapNoDevice);
  const std::size_t sent = ScsiCommands().size();
  // Enter still sends the Download command to the dialog.
  driver_.PressEnter(Main());
  Command(kIdDownload);
  EXPECT_EQ(ScsiCommands().size(), sent);
  EXPECT_STATE("no drive, after Download", false, true, false, false, kBitmapNoDevice);
  EXPECT_EQ(Status(), "Fail to Find Device");
  EXPECT_TRUE(IsWindow(Main()));
  // A window worked by a person is told why after "Fail to Find Device".
  ASSERT_EQ(driver_.MessageBoxes().size(), 1u);
  EXPECT_EQ(driver_.MessageBoxes()[0].caption, "Why no drive was found");
  const std::string& why = driver_.MessageBoxes()[0].text;
  // In the window's terms, not the terminal's.
  EXPECT_NE(why.find("start this program again"), std::string::npos) << why;
  EXPECT_EQ(why.find("--list"), std::string::npos) << why;
  EXPECT_NE(why.find("Not accepted at 0:3 \"QTR5    CD-ROM XPM-2400B\""), std::string::npos) << why;
  EXPECT_NE(why.find("of another model"), std::string::npos) << why;
  EXPECT_TRUE(why.starts_with("Administrator rights are needed.\n\nNo XPM-3177K")) << why;
  EXPECT_TRUE(why.ends_with("\n\nThe program also noted:\nCdRom0: access denied\n")) << why;
}

TEST_F(MainWindowTest, NoDriveWithBoxEnabledTypingDoesNotEnableDownload) {
  DeviceOptions other;
  other.kind = DeviceKind::kDisk;
  AddDevice(0, 0, other);
  Start();
  ASSERT_TRUE(driver_.Type(Main(), kIdFileName, "image.hex"));
  EXPECT_FALSE(Enabled(kIdDownload));
}

TEST_F(MainWindowTest, DownloadingThenSucceeded) {
  WriteDefaultImage(0xFEF0, {'1', '.', '1', '0'});
  AddDrive(0, 0);
  Start();
  const std::size_t before = driver_.PictureHistory(Main(), kIdPicture).size();
  ASSERT_TRUE(driver_.Click(Main(), kIdDownload));
  // While downloading: the three buttons disabled, the busy pictures shown.
  for (int id : {kIdCancel, kIdBrowse, kIdDownload}) {
    const auto history = driver_.EnabledHistory(Main(), id);
    EXPECT_NE(std::find(history.begin(), history.end(), false), history.end()) << id;
  }
  const auto pictures = driver_.PictureHistory(Main(), kIdPicture);
  ASSERT_GT(pictures.size(), before + 2);
  EXPECT_EQ(pictures[before], kBitmapWait);
  EXPECT_EQ(pictures[before + 1], kBitmapLogo);
  EXPECT_STATE("succeeded", false, false, false, false, kBitmapOk);
  ASSERT_EQ(driver_.MessageBoxes().size(), 1u);
  EXPECT_EQ(driver_.MessageBoxes()[0].text, "Please Reboot system");
  EXPECT_EQ(driver_.MessageBoxes()[0].caption, "Notice");
  EXPECT_EQ(driver_.MessageBoxes()[0].Buttons(), static_cast<UINT>(MB_OK));
  EXPECT_EQ(g_downloadDone, 1);
  EXPECT_EQ(Row(4), "1.10");
  EXPECT_TRUE(run_.record.downloadSucceeded);
}

TEST_F(MainWindowTest, SecondDownloadAfterSuccessOnlyWarnsAndCloses) {
  WriteDefaultImage();
  AddDrive(0, 0);
  Start();
  ASSERT_TRUE(driver_.Click(Main(), kIdDownload));
  ASSERT_EQ(g_downloadDone, 1);
  const std::size_t sent = ScsiCommands().size();
  HWND main = Main();
  Command(kIdDownload);
  EXPECT_EQ(ScsiCommands().size(), sent);
  ASSERT_EQ(driver_.MessageBoxes().size(), 2u);
  EXPECT_EQ(driver_.MessageBoxes()[1].text, "Please Reboot system");
  EXPECT_EQ(driver_.MessageBoxes()[1].caption, "Warning");
  EXPECT_EQ(driver_.MessageBoxes()[1].Buttons(), static_cast<UINT>(MB_OK));
  EXPECT_FALSE(IsWindow(main));
  EXPECT_EQ(bus_->Device(0, 0)->DownloadCount(), 1);
}

TEST_F(MainWindowTest, FailedDownloadLetsTheUserChooseAgain) {
  WriteDefaultImage();
  DeviceOptions refusing;
  refusing.faults.push_back({FaultKind::kRefuseImage, FaultScope::kDownload});
  AddDevice(0, 0, refusing);
  Start();
  ASSERT_TRUE(driver_.Click(Main(), kIdDownload));
  EXPECT_STATE("failed", false, true, true, false, kBitmapNg);
  EXPECT_EQ(driver_.Text(Main(), kIdFileName), "QTR5_ORNA.HEX");
  EXPECT_EQ(Status(), "Download has been failed!");
  EXPECT_TRUE(driver_.MessageBoxes().empty());
  EXPECT_EQ(g_downloadDone, 0);
  EXPECT_EQ(Row(1), "0000");  // the checksum of the image that was read
  app_->ShowText(4, "9.99");  // as if a revision had been read back
  // A new choice through the browse button enables Download again, and the
  // rows about the previous image no longer show.
  WriteFile("next.hex", HexFile(0, {0x01}));
  driver_.AnswerOpenFile(WorkDirectory() + "/next.hex");
  ASSERT_TRUE(driver_.Click(Main(), kIdBrowse));
  EXPECT_TRUE(Enabled(kIdDownload));
  EXPECT_EQ(Row(1), "");
  EXPECT_EQ(Row(4), "");
  EXPECT_EQ(Row(3), "1.00");  // the drive's rows stay
  // The failure belonged to the file named before.
  EXPECT_EQ(Picture(), kBitmapLogo);
  EXPECT_EQ(Status(), "Ready: press Download to flash the drive");
  // A window worked by a person warns of an image of one byte before it is
  // sent, and says why after "NG!"; the status line keeps its text.
  run_.request.explainFailures = true;
  ASSERT_TRUE(driver_.Click(Main(), kIdDownload));
  EXPECT_EQ(Status(), "Download has been failed!");
  ASSERT_EQ(driver_.MessageBoxes().size(), 2u);
  EXPECT_NE(driver_.MessageBoxes()[0].text.find("sets only 1 of the 65280"), std::string::npos);
  EXPECT_NE(driver_.MessageBoxes()[0].text.find("Download it anyway?"), std::string::npos);
  EXPECT_EQ(driver_.MessageBoxes()[0].type & MB_DEFMASK, static_cast<UINT>(MB_DEFBUTTON2))
      << "Enter must not flash a fragment";
  EXPECT_EQ(driver_.MessageBoxes()[1].caption, "Why the download failed");
  EXPECT_EQ(driver_.MessageBoxes()[1].text,
            run_.record.failureReason + "\n\n" + run_.record.failureAdvice);
  EXPECT_NE(run_.record.failureReason.find("did not take the image"), std::string::npos);
}

// A drive that took the image and fell silent: the box's advice is in the
// window's terms, not the terminal's command.
TEST_F(MainWindowTest, SilentDriveAdviceSaysWhatToDoAtTheWindow) {
  WriteDefaultImage();
  DeviceOptions neverBack;
  neverBack.busyMs = 0x7FFFFFFF;
  AddDevice(0, 0, neverBack);
  run_.request.explainFailures = true;
  Start();
  ASSERT_TRUE(driver_.Click(Main(), kIdDownload));
  ASSERT_FALSE(driver_.MessageBoxes().empty());  // the few-bytes warning comes first
  const std::string& why = driver_.MessageBoxes().back().text;
  EXPECT_EQ(why.find("--list"), std::string::npos) << why;
  EXPECT_NE(why.find("start this program again"), std::string::npos) << why;
  // The drive may hold the image: it is never sent again in this run.
  EXPECT_STATE("not confirmed", false, true, false, false, kBitmapUnconfirmed);
  Command(kIdDownload);
  EXPECT_EQ(bus_->Device(0, 0)->DownloadCount(), 1);
}

TEST_F(MainWindowTest, FailedReadAlsoEndsInNg) {
  WriteFile(kDefaultImageName, ":0100000001FF\n");  // wrong checksum
  AddDrive(0, 0);
  Start();
  const std::size_t sent = ScsiCommands().size();
  ASSERT_TRUE(driver_.Click(Main(), kIdDownload));
  EXPECT_EQ(ScsiCommands().size(), sent);
  EXPECT_STATE("read failed", false, true, true, false, kBitmapNg);
  EXPECT_EQ(Status(), "HEX file is damaged!");
  EXPECT_TRUE(run_.record.imageReadFailed);
}

TEST_F(MainWindowTest, BrowseAsksForAnExistingHexFileAndCancelChangesNothing) {
  AddDrive(0, 0);
  Start();
  driver_.AnswerOpenFile(std::nullopt);
  ASSERT_TRUE(driver_.Click(Main(), kIdBrowse));
  EXPECT_EQ(driver_.Text(Main(), kIdFileName), "");
  EXPECT_FALSE(Enabled(kIdDownload));
  ASSERT_EQ(driver_.OpenFileRequests().size(), 1u);
  const qtr5::OpenFileRequest& request = driver_.OpenFileRequests()[0];
  EXPECT_EQ(request.owner, Main());
  ASSERT_EQ(request.filters.size(), 1u);
  EXPECT_EQ(request.filters[0].description, "Firmware file (*.HEX)");
  EXPECT_EQ(request.filters[0].patterns, "*.HEX;*.hex");
  EXPECT_NE(request.flags & OFN_FILEMUSTEXIST, 0u);
  EXPECT_EQ(request.initialPath, "");
  EXPECT_EQ(request.maxPathLength, 259u);

  driver_.AnswerOpenFile(std::string("/some/dir/FW.HEX"));
  ASSERT_TRUE(driver_.Click(Main(), kIdBrowse));
  EXPECT_EQ(driver_.Text(Main(), kIdFileName), "/some/dir/FW.HEX");
  EXPECT_TRUE(Enabled(kIdDownload));
}

TEST_F(MainWindowTest, PictureButtonShowsTheReleaseNotes) {
  AddDrive(0, 0);
  Start();
  bool answered = false;
  driver_.AnswerDialog(kDialogReleaseNote, [&answered](qtr5::HeadlessDriver& d, HWND dialog) {
    answered = true;
    EXPECT_EQ(qtr5::OwnerOf(dialog), d.FindDialog(kDialogMain));
    d.Click(dialog, kIdReleaseNoteOk);
  });
  ASSERT_TRUE(driver_.Click(Main(), kIdPicture));
  EXPECT_TRUE(answered);
  EXPECT_EQ(driver_.ModalCount(kDialogReleaseNote), 1);
  EXPECT_EQ(driver_.FindDialog(kDialogReleaseNote), nullptr);
  // Closed with its title bar's button, it ends too.
  driver_.AnswerDialog(kDialogReleaseNote,
                       [](qtr5::HeadlessDriver& d, HWND dialog) { d.Close(dialog); });
  ASSERT_TRUE(driver_.Click(Main(), kIdPicture));
  EXPECT_EQ(driver_.ModalCount(kDialogReleaseNote), 2);
  EXPECT_TRUE(driver_.UnscriptedWaits().empty());
}

TEST_F(MainWindowTest, EscapeDoesNothing) {
  WriteDefaultImage();
  AddDrive(0, 0);
  Start();
  const std::size_t sent = ScsiCommands().size();
  driver_.PressEscape(Main());
  Command(IDCANCEL);
  EXPECT_TRUE(IsWindow(Main()));
  EXPECT_STATE("after Esc", true, true, false, false, kBitmapLogo);
  EXPECT_EQ(ScsiCommands().size(), sent);
}

class EndingTest : public MainWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EndingTest, CancelAndTheCloseBoxEndTheProgram) {
  const bool useCancel = GetParam();
  driver_.Then([useCancel](qtr5::HeadlessDriver& d) {
    HWND main = d.FindDialog(kDialogMain);
    if (useCancel) {
      d.Click(main, kIdCancel);
    } else {
      d.Close(main);
    }
  });
  AddDrive(0, 0);
  Start();
  EXPECT_EQ(app_->RunMessageLoop(), 0);
  EXPECT_FALSE(IsWindow(Main()));
  EXPECT_FALSE(qtr5::QuitWasForced());
}

INSTANTIATE_TEST_SUITE_P(Ways, EndingTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Cancel" : "CloseBox"; });

}  // namespace
