// The emulated devices: identification, tray, the download command and its
// checks, the busy time and the new revision.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "tests/support/bus_fixture.h"
#include "transports/emulated/device_model.h"

namespace {

struct KindCase {
  const char* layout;
  std::uint8_t byte0;
  bool modelAccepted;
  const char* revision;
  bool trayOpens;
};

class DeviceKinds : public BusFixture, public testing::WithParamInterface<KindCase> {};

TEST_P(DeviceKinds, IdentifyThemselvesAndHandleTheTray) {
  Build(GetParam().layout);
  ASSERT_TRUE(Inquiry());
  EXPECT_EQ(device_->dataBuffer[0], GetParam().byte0);
  char model[25];
  char revision[5];
  EXPECT_EQ(device_->GetInquiryStrings(model, revision), GetParam().modelAccepted) << model;
  EXPECT_EQ(std::strlen(model) > 0, true);
  EXPECT_STREQ(revision, GetParam().revision);
  EXPECT_EQ(OpenTray(), GetParam().byte0 != 0x25);  // an unconnected unit takes no command
  EXPECT_EQ(bus_->Device(0, 0)->TrayOpen(), GetParam().trayOpens);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DeviceKinds,
                         testing::Values(KindCase{"0:0=drive", 0x05, true, "1.00", true},
                                         KindCase{"0:0=drive+rev=2.5", 0x05, true, "2.5", true},
                                         KindCase{"0:0=cdrom", 0x05, false, "2.10", true},
                                         KindCase{"0:0=disk", 0x00, false, "3.02", false},
                                         KindCase{"0:0=q1cd", 0x25, true, "1.00", false},
                                         KindCase{"0:0=disk3177k", 0x00, true, "1.00", false}));

TEST_F(BusFixture, AGoodDownloadIsTakenThenTheDriveIsBusyThenReportsTheImagesRevision) {
  Build("0:0=drive+busy=3000");
  const std::vector<std::uint8_t> image = MakeImage("1.10");
  ASSERT_TRUE(Download(image));
  EmulatedDevice* drive = bus_->Device(0, 0);
  EXPECT_EQ(drive->DownloadCount(), 1);
  EXPECT_EQ(drive->Firmware(), image);  // rebuilt from command bytes 10, 11 and the data
  const LoggedCommand& sent = drive->Log().back();
  ASSERT_EQ(sent.dataOut.size(), 65535u);
  EXPECT_EQ(sent.dataOut[0], image[2]);
  EXPECT_EQ(sent.dataOut[65533], image[65535]);

  now_ += 2999;
  EXPECT_FALSE(Inquiry());
  EXPECT_EQ(SenseKey(), 0x02);  // NOT READY, operation in progress
  EXPECT_EQ(Asc(), 0x04);
  EXPECT_EQ(Ascq(), 0x07);
  EXPECT_FALSE(OpenTray());

  now_ += 1;
  ASSERT_TRUE(Inquiry());
  EXPECT_EQ(Revision(), "1.10");
}

TEST_F(BusFixture, WithoutAPrintableRevisionFieldTheChecksumNamesTheFirmware) {
  Build("0:0=drive+busy=0");
  std::vector<std::uint8_t> image = MakeImage(nullptr);
  image[0xFEF2] = 0x7F;  // one byte outside 0x20..0x7E is enough
  std::memcpy(&image[0xFEF0], "1.", 2);
  image[0xFEF3] = '0';
  ASSERT_TRUE(Download(image));
  char expected[8];
  std::snprintf(expected, sizeof expected, "%04X", static_cast<unsigned>(Sum(image)));
  ASSERT_TRUE(Inquiry());
  EXPECT_EQ(Revision(), expected);
  EXPECT_EQ(RevisionFromImage(image.data()), expected);
}

TEST_F(BusFixture, TheBusyTimeSurvivesAWrappingClock) {
  Build("0:0=drive");
  now_ = 0xFFFFFF00u;
  ASSERT_TRUE(Download(MakeImage("1.10")));
  now_ += 0x200;  // wrapped, 512 ms later
  EXPECT_FALSE(Inquiry());
  now_ = 0xFFFFFF00u + kDefaultBusyMs;
  EXPECT_TRUE(Inquiry());
}

struct DownloadCheck {
  const char* name;
  std::function<void(AspiDevice&)> spoil;
  std::uint8_t status;
  std::uint8_t senseKey;
  std::uint8_t asc;
};

class DownloadChecks : public BusFixture, public testing::WithParamInterface<DownloadCheck> {};

TEST_P(DownloadChecks, AreRefusedAndLeaveTheFirmwareAlone) {
  Build("0:0=drive+busy=0");
  const std::vector<std::uint8_t> image = MakeImage("1.10");
  LoadDownload(image);
  GetParam().spoil(*device_);
  EXPECT_FALSE(device_->ExecuteWait());
  EXPECT_EQ(device_->srb.SRB_Status, GetParam().status);
  EXPECT_EQ(SenseKey(), GetParam().senseKey);
  EXPECT_EQ(Asc(), GetParam().asc);
  if (GetParam().senseKey != 0) {
    EXPECT_EQ(device_->srb.SRB_TargStat, STATUS_CHKCOND);
  }
  EmulatedDevice* drive = bus_->Device(0, 0);
  EXPECT_EQ(drive->DownloadCount(), 0);
  EXPECT_TRUE(drive->Firmware().empty());
  ASSERT_TRUE(Inquiry());  // not busy: nothing was taken
  EXPECT_EQ(Revision(), "1.00");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DownloadChecks,
    testing::Values(
        DownloadCheck{"Byte3", [](AspiDevice& d) { d.commandBlock[3] = 0x76; }, SS_ERR, 5, 0x24},
        DownloadCheck{"Byte7", [](AspiDevice& d) { d.commandBlock[7] = 0xFE; }, SS_ERR, 5, 0x24},
        DownloadCheck{"Byte8", [](AspiDevice& d) { d.commandBlock[8] = 0xFF; }, SS_ERR, 5, 0x24},
        DownloadCheck{"Byte9", [](AspiDevice& d) { d.commandBlock[9] = 0x01; }, SS_ERR, 5, 0x24},
        DownloadCheck{"ChecksumLow", [](AspiDevice& d) { ++d.commandBlock[6]; }, SS_ERR, 5, 0x26},
        DownloadCheck{"ChecksumHigh", [](AspiDevice& d) { ++d.commandBlock[5]; }, SS_ERR, 5, 0x26},
        DownloadCheck{"ImageByte0", [](AspiDevice& d) { ++d.commandBlock[10]; }, SS_ERR, 5, 0x26},
        DownloadCheck{"LastImageByte", [](AspiDevice& d) { ++d.dataBuffer[65533]; }, SS_ERR, 5,
                      0x26},
        // Data byte 65534 is sent but is not part of the image.
        DownloadCheck{"TenByteBlock",
                      [](AspiDevice& d) {
                        std::uint8_t block[12];
                        std::memcpy(block, d.commandBlock, 12);
                        d.SetCommand10(block, SRB_DIR_OUT, 65535);
                      },
                      SS_ERR, 5, 0x26},
        DownloadCheck{"ShortData", [](AspiDevice& d) { d.transferLength = 65534; }, SS_ERR, 5,
                      0x1A},
        DownloadCheck{"LongData", [](AspiDevice& d) { d.transferLength = 65536; }, SS_ERR, 5, 0x1A},
        DownloadCheck{"DirectionIn", [](AspiDevice& d) { d.direction = SRB_DIR_IN; }, SS_ERR, 0,
                      0}),
    [](const testing::TestParamInfo<DownloadCheck>& info) { return info.param.name; });

TEST_F(BusFixture, TheLastDataByteIsNotPartOfTheImage) {
  Build("0:0=drive+busy=0");
  LoadDownload(MakeImage("1.10"));
  device_->dataBuffer[65534] = 0x00;  // the extra byte
  EXPECT_TRUE(device_->ExecuteWait());
}

TEST_F(BusFixture, OnlyTheDriveTakesTheDownloadCommand) {
  Build("0:0=cdrom,0:1=disk,0:2=disk3177k,0:3=q1cd");
  for (std::uint8_t target = 0; target < 4; ++target) {
    At(0, target);
    EXPECT_FALSE(Download(MakeImage("1.10"))) << int(target);
    EXPECT_EQ(SenseKey(), 0x05) << int(target);
    EXPECT_EQ(bus_->Device(0, target)->DownloadCount(), 0);
  }
}

TEST_F(BusFixture, UnknownCommandsAreRefusedAsIllegal) {
  Build("");
  const std::uint8_t readCapacity[12] = {0x25};
  device_->SetCommand(readCapacity, SRB_DIR_IN, 8);
  EXPECT_FALSE(device_->ExecuteWait());
  EXPECT_EQ(SenseKey(), 0x05);
  EXPECT_EQ(Asc(), 0x20);
}

}  // namespace
