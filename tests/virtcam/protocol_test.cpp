// The request protocol: command blocks, replies, the state they reach, and
// refusal of malformed requests.
#include <gtest/gtest.h>

#include "direct_camera.h"

namespace {

using namespace pelnik::virtcam;
using direct::DirectCamera;
namespace wire = pelnik::platform::wire;

TEST(Protocol, SensorRegisterReadRepliesHighThenLowByteInBothReplies) {
  DirectCamera camera;
  camera.writeSensor(17, 0x07AB);
  ASSERT_TRUE(camera.command({0x04, 0x03, 17, 0, 0}).ok);
  const auto first = camera.reply();
  const auto second = camera.reply();
  ASSERT_TRUE(first.ok && second.ok);
  ASSERT_EQ(second.data.size(), 64u);
  EXPECT_EQ(second.data[0], 0x07);
  EXPECT_EQ(second.data[1], 0xAB);
  EXPECT_EQ(first.data, second.data);
  EXPECT_EQ(camera.unit.registers().sensor[17], 0x07AB);
}

TEST(Protocol, FpgaAndSromReadsReturnByteZeroOfTheSecondReply) {
  DirectCamera camera(3);
  camera.writeFpga(7, 0x5C);
  EXPECT_EQ(camera.read({0x26, 7}).data.at(0), 0x5C);
  // Transfer-length registers after power-up: the full 8-bit frame.
  EXPECT_EQ(camera.read({0x26, 2}).data.at(0), 0x14);

  // Seeded identity and variant of camera 3 (odd: variant 2).
  EXPECT_EQ(camera.read({0x41, 0x51, 0x02, 0x01, 0x1E, 0xB0}).data.at(0), 2);
  const auto id0 = camera.read({0x41, 0x51, 0x02, 0x01, 0x18, 0x00}).data.at(0);
  EXPECT_EQ(id0, seededSrom(3)[0x1800]);
  ASSERT_TRUE(camera.command({0x40, 0x51, 0x03, 0x18, 0x10, 0x99}).ok);
  EXPECT_EQ(camera.read({0x41, 0x51, 0x02, 0x01, 0x18, 0x10}).data.at(0), 0x99);
  EXPECT_EQ(camera.unit.sromByte(0x1810), 0x99);
}

TEST(Protocol, CamerasAreSeededDifferently) {
  EXPECT_NE(seededSrom(0), seededSrom(1));
  EXPECT_EQ(seededSrom(0)[0x1EB0], 1);
  EXPECT_EQ(seededSrom(1)[0x1EB0], 2);
  EXPECT_EQ(seededSrom(5), seededSrom(5));
}

TEST(Protocol, MalformedRequestsFailChangeNothingAndAreLoggedAsProtocolErrors) {
  DirectCamera camera;
  const CameraRegisters before = camera.unit.registers();
  struct Case {
    const char *what;
    direct::Result result;
  };
  std::vector<std::uint8_t> shortWord = {0, 0};
  std::vector<std::uint8_t> badTimeout(40, 0);
  const Case cases[] = {
      {"unknown code",
       camera.transfer(0x222000, DirectCamera::pipeWord(0), 64, DirectCamera::block({0x25, 7, 1}))},
      {"2-byte pipe word",
       camera.transfer(wire::kCodePipeIn, shortWord, 64, DirectCamera::block({0x25, 7, 1}))},
      {"pipe 3", camera.transfer(wire::kCodePipeIn, DirectCamera::pipeWord(3), 64)},
      {"32-byte command", camera.transfer(wire::kCodePipeIn, DirectCamera::pipeWord(0), 32,
                                          std::vector<std::uint8_t>(32, 0x25))},
      {"unknown command", camera.command({0x77})},
      {"sensor write without 0x03", camera.command({0x04, 0x02, 14 + 0x80, 1, 0})},
      {"SROM write without 0x51", camera.command({0x40, 0x50, 0x03, 0x18, 0, 1})},
      {"SROM read without 0x01", camera.command({0x41, 0x51, 0x02, 0x00, 0x18, 0})},
      {"transfer set-up without 0x01", camera.command({0x0A, 0x02})},
      {"reply read with the image code",
       camera.transfer(wire::kCodePipeIn, DirectCamera::pipeWord(1), 64)},
      {"reply read of 4 bytes", camera.transfer(wire::kCodePipeOut, DirectCamera::pipeWord(1), 4)},
      {"image read with the reply code",
       camera.transfer(wire::kCodePipeOut, DirectCamera::pipeWord(2), 1024)},
      {"40-byte time-out", camera.transfer(wire::kCodeTimeout, badTimeout, 0)},
  };
  for (const auto &c : cases) {
    EXPECT_FALSE(c.result.ok) << c.what;
    EXPECT_EQ(c.result.returned, 0u) << c.what;
  }
  const auto log = camera.unit.protocolLog();
  ASSERT_EQ(log.size(), std::size(cases));
  for (std::size_t i = 0; i < log.size(); ++i)
    EXPECT_FALSE(log[i].protocolError.empty()) << cases[i].what;
  EXPECT_EQ(camera.unit.registers().sensor, before.sensor);
  EXPECT_EQ(camera.unit.registers().fpga, before.fpga);
  EXPECT_EQ(camera.unit.sromByte(0x1800), seededSrom(0)[0x1800]);
  EXPECT_EQ(camera.unit.readTimeoutMs(), kDefaultReadTimeoutMs);
}

TEST(Protocol, TheStreamingFrameRequestCodeIsAccepted) {
  DirectCamera camera;
  EXPECT_TRUE(camera.command({0x02}, wire::kCodePipeOut).ok);
  EXPECT_TRUE(camera.command({0x01}).ok);
  EXPECT_TRUE(camera.command({0x09, 0x00, 0x00, 0x14, 0x00}).ok);
  EXPECT_TRUE(camera.command({0x0A, 0x01}).ok);
}

TEST(Protocol, LogHoldsCodePipeAndBlockBytesInOrder) {
  DirectCamera camera;
  camera.writeSensor(14, 0x0200);
  camera.read({0x26, 11});
  camera.setTimeout(3000);
  const auto log = camera.unit.protocolLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].code, wire::kCodePipeIn);
  EXPECT_EQ(log[0].pipe, 0);
  const std::vector<std::uint8_t> head(log[0].block.begin(), log[0].block.begin() + 5);
  EXPECT_EQ(head, (std::vector<std::uint8_t>{0x04, 0x03, 0x8E, 0x02, 0x00}));
  EXPECT_EQ(log[0].block.size(), 64u);
  EXPECT_TRUE(log[0].isCommand());
  EXPECT_EQ(log[1].commandCode(), 0x26);
  EXPECT_EQ(log[2].pipe, 1);
  EXPECT_EQ(log[2].code, wire::kCodePipeOut);
  EXPECT_EQ(log[3].pipe, 1);
  EXPECT_EQ(log[4].code, wire::kCodeTimeout);
  EXPECT_EQ(log[4].pipe, -1);
  EXPECT_EQ(wire::loadLe32(log[4].block.data() + 4), 3000u);
  EXPECT_LT(log[0].sequence, log[4].sequence);
  EXPECT_EQ(camera.unit.readTimeoutMs(), 3000);
}

TEST(Protocol, FailingCommandsFailPipesZeroAndOneButNotImages) {
  CameraOptions options;
  options.sensorTiming = false;
  DirectCamera camera(0, options);
  camera.unit.setFault(Fault::FailCommands, true);
  EXPECT_FALSE(camera.command({0x25, 7, 9}).ok);
  EXPECT_FALSE(camera.reply().ok);
  EXPECT_FALSE(camera.setTimeout(100).ok);
  EXPECT_EQ(camera.unit.registers().fpga[7], 0);
  EXPECT_TRUE(camera.image(1310720).ok);
  const auto log = camera.unit.protocolLog();
  EXPECT_TRUE(log.front().protocolError.empty());
  EXPECT_FALSE(log.front().failure.empty());
  camera.unit.heal();
  EXPECT_TRUE(camera.command({0x25, 7, 9}).ok);
  EXPECT_EQ(camera.unit.registers().fpga[7], 9);
}

}  // namespace
