// qtr5-download-gui's run as a whole: options, the emulated transport, the
// window, and the exit status the desktop program gives: the status of what
// the run did, as qtr5-download gives it, also when a person closes the
// window.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <csignal>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_context.h"
#include "frontends/desktop/desktop_program.h"
#include "program/exit_status.h"
#include "resources/resource_ids.h"
#include "tests/qt/qt_harness.h"
#include "winui/backend.h"

namespace {

class DesktopProgramTest : public QtAppTest {
 protected:
  DesktopProgramTest() { setenv("QTR5_TIME_SCALE", "1000", 1); }
  ~DesktopProgramTest() override { unsetenv("QTR5_TIME_SCALE"); }

  int RunWith(const std::vector<const char*>& arguments, bool messagesInBoxes = false) {
    std::vector<const char*> argv{"qtr5-download-gui"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const ParseResult parsed =
        qtr5::ParseDesktopArguments(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(parsed.action, ParseAction::kRun) << parsed.text;
    qtr5::DesktopSettings settings;
    settings.messagesInBoxes = messagesInBoxes;
    return qtr5::RunDesktopProgram(parsed.options, &backend_, settings);
  }
  void Click(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }
};

TEST_F(DesktopProgramTest, TheUserBrowsesDownloadsSeesOkAndTheProgramEndsWithZero) {
  WriteFile("fw.hex", FirmwareLikeHexFile());
  BoxContents missing, notice;
  WhenModal([&](QWidget* box) {
    missing = ReadBox(box);
    ClickBoxButton(box, "OK");
  });
  WhenModal([](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile("fw.hex");
    QMetaObject::invokeMethod(dialog, "accept");
  });
  WhenModal([&](QWidget* box) {
    notice = ReadBox(box);
    ClickBoxButton(box, "OK");
  });
  Then([&] { Click(kIdBrowse); });
  Then([&] {
    EXPECT_TRUE(ControlAs<QLineEdit>(kIdFileName)->text().endsWith("/fw.hex"));
    Click(kIdDownload);
  });
  Then([&] {
    EXPECT_EQ(ShownPicture(), kBitmapOk);
    EXPECT_EQ(ShownStatus(), "Download has been done successfully!");
    EXPECT_EQ(ShownCell(4, 1), "1.10");
    CloseMain();
  });
  EXPECT_EQ(RunWith({"--emulate"}), 0);
  EXPECT_EQ(missing.text, "QTR5_ORNA.HEX file not found.");
  EXPECT_EQ(notice.title, "Notice");
  EXPECT_EQ(notice.text, "Please Reboot system");
  EXPECT_FALSE(qtr5::QuitWasForced());
}

// A file alone (the desktop entry's %f) or --image is the image as it is;
// only the default is looked for, and from the desktop its folder is named.
TEST_F(DesktopProgramTest, OnlyTheDefaultImageIsLookedForAndItsFolderIsNamed) {
  WriteFile("fw.hex", FirmwareLikeHexFile());
  // The file alone uses the real transport, which finds no drive here: the
  // only box is the one that says why.
  QString noDrive;
  WhenModal([&](QWidget* box) {
    noDrive = ReadBox(box).title;
    ClickBoxButton(box, "OK");
  });
  for (const auto& arguments : {std::vector<const char*>{"fw.hex"},
                                std::vector<const char*>{"--emulate", "--image", "fw.hex"}}) {
    Then([&] {
      EXPECT_EQ(ControlAs<QLineEdit>(kIdFileName)->text(), "fw.hex");
      CloseMain();
    });
    EXPECT_EQ(RunWith(arguments),
              ExitStatus(arguments.size() == 1 ? Outcome::kNoDrive : Outcome::kNotDownloaded));
  }
  EXPECT_EQ(modalAnswered_, 1);
  EXPECT_EQ(noDrive, "Why no drive was found");
  // One box says both: the image is missing, and where it was looked for.
  BoxContents missing;
  WhenModal([&](QWidget* box) {
    missing = ReadBox(box);
    ClickBoxButton(box, "OK");
  });
  Then([&] { CloseMain(); });
  modalAnswered_ = 0;
  EXPECT_EQ(RunWith({"--emulate"}, true), ExitStatus(Outcome::kNotDownloaded));
  EXPECT_EQ(modalAnswered_, 1);
  EXPECT_EQ(missing.text, "QTR5_ORNA.HEX file not found.");
  EXPECT_TRUE(missing.more.startsWith("QTR5_ORNA.HEX was looked for in " + QDir::currentPath()))
      << missing.more.toStdString();
}

TEST_F(DesktopProgramTest, ClosingTheWindowWithoutADriveGivesTheNoDriveStatus) {
  WriteDefaultImage();
  WhenModal([](QWidget* box) { ClickBoxButton(box, "OK"); });  // why no drive was found
  Then([&] {
    EXPECT_EQ(ShownPicture(), kBitmapNoDevice);
    CloseMain();
  });
  EXPECT_EQ(RunWith({"--emulate=empty"}), ExitStatus(Outcome::kNoDrive));
}

// With --yes the program runs by itself and ends after the outcome: the
// reboot notice is printed, not waited for, and the window closes.
TEST_F(DesktopProgramTest, WithYesTheDownloadStartsByItselfAndTheProgramEndsAfterTheOutcome) {
  WriteDefaultImage();
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunWith({"--emulate", "--yes", "--json"}), 0);
  const std::string summary = testing::internal::GetCapturedStdout();
  EXPECT_EQ(modalAnswered_, 0);
  EXPECT_NE(summary.find("\"statusLine\":\"Download has been done successfully!\""),
            std::string::npos)
      << summary;
  EXPECT_FALSE(qtr5::QuitWasForced());
  EXPECT_EQ(RunWith({"--emulate=0:0=drive+fault=refuse-download", "--yes"}),
            ExitStatus(Outcome::kIncomplete));
  EXPECT_FALSE(qtr5::QuitWasForced());
}

// Who drives the window, as every desktop front end says it: a person
// without --yes (the Select Device dialog among several drives, a box that
// says why after "NG!" and after "Fail to Find Device", told once: not again
// when the window closes), the program itself with --yes (no dialog; what
// it has to say comes in one box once the window is gone). Started from a
// desktop menu: diagnostics come in boxes.
TEST_F(DesktopProgramTest, APersonGetsTheDeviceChoiceAndTheReasonBoxesAndYesGetsNone) {
  WriteDefaultImage();
  const QString program = "QTR5 (XPM-3177K) Download Utility";
  struct Case {
    std::vector<const char*> arguments;
    bool chooses;  // the Select Device dialog comes up; the second drive is taken
    bool clicks;   // the user clicks Download
    int picture;   // shown at the end
    QStringList boxTitles;
    int status;
  };
  const Case cases[] = {
      {{"--emulate=0:0=drive,1:3=drive"}, true, true, kBitmapOk, {"Notice"}, 0},
      {{"--emulate=0:0=drive+fault=refuse-download"},
       false,
       true,
       kBitmapIncomplete,
       {"Why the drive's firmware may be incomplete"},
       ExitStatus(Outcome::kIncomplete)},
      {{"--emulate=empty"},
       false,
       false,
       kBitmapNoDevice,
       {"Why no drive was found"},
       ExitStatus(Outcome::kNoDrive)},
      {{"--emulate=0:0=drive,1:3=drive", "--yes"},
       false,
       false,
       kBitmapNoDevice,
       {program},
       ExitStatus(Outcome::kRefusedToGuess)},
      {{"--emulate=0:0=drive+fault=refuse-download", "--yes"},
       false,
       false,
       kBitmapIncomplete,
       {program},
       ExitStatus(Outcome::kIncomplete)},
      {{"--emulate=empty", "--yes"},
       false,
       false,
       kBitmapNoDevice,
       {program},
       ExitStatus(Outcome::kNoDrive)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    modalAnswered_ = 0;
    QStringList titles;
    QString told;
    QString details;
    for (qsizetype i = 0; i < c.boxTitles.size(); ++i) {
      WhenModal([&](QWidget* box) {
        const BoxContents contents = ReadBox(box);
        titles << contents.title;
        told += contents.text + contents.more;
        details += contents.details;
        ClickBoxButton(box, "OK");
      });
    }
    if (c.chooses) {
      Then([&] { ASSERT_TRUE(ClickSelectDeviceRow(1)); });
      Then([&] {
        QTest::mouseClick(DialogControl(kDialogSelectDevice, kIdSelectOk), Qt::LeftButton);
      });
    }
    auto finish = [&] {
      EXPECT_EQ(ShownPicture(), c.picture);
      CloseMain();
    };
    // With --yes the window closes by itself once the outcome is shown.
    const bool byItself = std::string(c.arguments.back()) == "--yes";
    if (!byItself) {
      Then([&] {
        EXPECT_EQ(DialogWindow(kDialogSelectDevice), nullptr);
        if (c.chooses) {
          EXPECT_EQ(ShownCell(0, 1), "1 : 3");
        }
        if (!c.clicks) return finish();
        Click(kIdDownload);
      });
    }
    if (c.clicks) Then(finish);
    EXPECT_EQ(RunWith(c.arguments, true), c.status);
    if (byItself) {
      EXPECT_FALSE(qtr5::QuitWasForced()) << "it ends by itself";
    }
    EXPECT_EQ(titles, c.boxTitles);
    // A person is told what to do in the window's terms.
    if (std::string_view(c.arguments.back()) != "--yes") {
      EXPECT_FALSE(told.contains("--list")) << told.toStdString();
      // The refusal in words; its codes, for support, behind Details.
      if (c.picture == kBitmapIncomplete) {
        EXPECT_TRUE(told.contains("hardware error: write error")) << told.toStdString();
        EXPECT_FALSE(told.contains("4/0C/00"));
        EXPECT_EQ(details, "Sense key/ASC/ASCQ: 4/0C/00");
      }
    }
    EXPECT_EQ(modalAnswered_, c.boxTitles.size());
  }
}

// A signal in the middle of the download (a session that logs out): the
// run ends with the signal's status, and what the drive got is said once the
// window has gone, in the window's terms, not as a command to type.
TEST_F(DesktopProgramTest, ASignalDuringTheDownloadEndsWithItsStatusAndWindowWords) {
  WriteDefaultImage();
  unsetenv("QTR5_TIME_SCALE");  // the fake clock runs the progress display
  bool sent = false;
  backend_.afterRepaint = [&](const RecordingBackend::Frame& frame) {
    if (sent || frame.picture != kBitmapWait) return;  // the drive has taken the image
    sent = true;
    std::raise(SIGTERM);
  };
  BoxContents told;
  WhenModal([&](QWidget* box) {
    told = ReadBox(box);
    ClickBoxButton(box, "OK");
  });
  Then([&] {
    backend_.mainWindow = Main();  // its frames are recorded from now on
    Click(kIdDownload);
  });
  EXPECT_EQ(RunWith({"--emulate"}, true), ExitStatus(Outcome::kInterrupted));
  EXPECT_TRUE(sent);
  const QString said = told.text + told.more + told.details;
  EXPECT_TRUE(said.contains("it may still be reprogramming itself")) << said.toStdString();
  EXPECT_TRUE(said.contains("start this program again")) << said.toStdString();
  EXPECT_FALSE(said.contains("qtr5-download")) << said.toStdString();
}

TEST_F(DesktopProgramTest, ABadLayoutIsAUsageErrorShownInABoxAndNoWindowAppears) {
  BoxContents shown;
  WhenModal([&](QWidget* box) {
    shown = ReadBox(box);
    ClickBoxButton(box, "OK");
  });
  EXPECT_EQ(RunWith({"--emulate=0:9=drive"}, true), 2);
  EXPECT_TRUE(shown.text.contains("0:9=drive")) << shown.text.toStdString();
  EXPECT_EQ(shown.title, "QTR5 (XPM-3177K) Download Utility");
  EXPECT_TRUE(qtr5::TopLevelWindows().empty());
  // Without boxes it only goes to standard error.
  EXPECT_EQ(RunWith({"--emulate=0:9=drive"}), 2);
  EXPECT_EQ(modalAnswered_, 1);
}

// A line the transport tells during the scan, here repeated from a recorded
// session as the sg transport told it.
TEST_F(DesktopProgramTest, WhatTheTransportTellsComesUpInABox) {
  WriteDefaultImage();
  std::string session =
      R"({"record":"header","format":"qtr5-aspi-session","version":1,"provider":"sg"})"
      "\n"
      R"({"record":"support_info","status":1,"adapters":1})"
      "\n";
  // The scan: the drive at 0:0 and no device behind the other targets.
  for (int target = 0; target < 8; ++target) {
    session += R"({"record":"exec","ha":0,"target":)" + std::to_string(target) +
               R"(,"lun":0,"direction":"in","cdb":"120000002400000000000000","length":36,)"
               R"("sense_len":18,"data_out_sha256":null,"residual_count":true,)";
    if (target == 0) {
      session +=
          R"("return":1,"status":1,"ha_stat":0,"targ_stat":0,"sense":"","buf_len_after":0,)"
          R"("data_in":"058000211f000000515452352020202043442d524f4d2058504d2d333137374b312e3030",)"
          R"("messages":["/dev/sg7 (1:0:0:0) needs read and write access )"
          "(permission denied)\"]}\n";
    } else {
      session += R"("return":130,"status":130,"ha_stat":17,"targ_stat":0,"sense":"",)"
                 R"("buf_len_after":36})"
                 "\n";
    }
  }
  // The tray opened as the window starts.
  session += R"({"record":"exec","ha":0,"target":0,"lun":0,"direction":"in",)"
             R"("cdb":"1b0000000200000000000000","length":0,"sense_len":18,"data_out_sha256":null,)"
             R"("residual_count":false,"return":1,"status":1,"ha_stat":0,"targ_stat":0,"sense":""})"
             "\n";
  WriteFile("session.jsonl", session);
  BoxContents shown;
  WhenModal([&](QWidget* box) {
    shown = ReadBox(box);
    ClickBoxButton(box, "OK");
  });
  Then([&] { CloseMain(); });
  EXPECT_EQ(RunWith({"--replay", "session.jsonl"}, true), ExitStatus(Outcome::kNotDownloaded));
  EXPECT_EQ(shown.text,
            "replayed: /dev/sg7 (1:0:0:0) needs read and write access (permission denied)");
  EXPECT_EQ(shown.icon, QMessageBox::Warning);
}

}  // namespace
