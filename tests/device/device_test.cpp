// The output devices: the queue, loop and done semantics over the virtual device (fast and
// in real time), its capture file, failures, the ALSA null device, and the device list.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

#include "device/output_devices.h"
#include "device/volume.h"
#include "device/alsa_output.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using namespace std::chrono_literals;

struct LBuffer {
  std::vector<int16_t> samples;
  LWaveHeader header;
  LBuffer(std::vector<int16_t> s) : samples(std::move(s)) {
    header.data = samples.data();
    header.bytes = static_cast<uint32_t>(samples.size() * 2);
  }
};

std::vector<int16_t> Ramp(size_t count, int start) {
  std::vector<int16_t> samples(count);
  std::iota(samples.begin(), samples.end(), static_cast<int16_t>(start));
  return samples;
}

bool WaitDone(const LWaveHeader& header, std::chrono::milliseconds timeout = 5000ms) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (!header.Done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::unique_ptr<LWaveOut> OpenFast(LEvent& done, const std::string& capture = {}, int64_t failAfter = -1,
                                   LDeviceFormat format = {8000, 2}) {
  std::string error;
  auto device = OpenVirtualDevice({LPacing::kAsFastAsPossible, capture, failAfter}, format, done, &error);
  EXPECT_TRUE(device) << error;
  return device;
}

TEST(VirtualDeviceTest, PlaysQueuedBuffersInOrderIntoTheCaptureFile) {
  const std::string capture = test::TempPath(".wav");
  LEvent done;
  std::vector<std::unique_ptr<LBuffer>> buffers;
  {
    auto device = OpenFast(done, capture);
    for (int i = 0; i < 5; ++i) buffers.push_back(std::make_unique<LBuffer>(Ramp(2000, i * 2000 - 5000)));
    buffers.push_back(std::make_unique<LBuffer>(std::vector<int16_t>{}));  // an empty buffer is done too
    for (auto& buffer : buffers) device->Write(buffer->header);
    for (auto& buffer : buffers) EXPECT_TRUE(WaitDone(buffer->header));
    EXPECT_TRUE(done.IsSet());
    EXPECT_FALSE(device->Failed());
    EXPECT_EQ(device->Underruns(), 0);
  }
  const std::vector<int16_t> got = test::SoxSamples16(capture);
  EXPECT_EQ(got, Ramp(10000, -5000));
  EXPECT_EQ(test::RunTool({"soxi", "-r", capture}), "8000\n");
  EXPECT_EQ(test::RunTool({"soxi", "-c", capture}), "2\n");
}

TEST(VirtualDeviceTest, LoopsALoopBufferAndVolumeScalesTheSamples) {
  const std::string capture = test::TempPath(".wav");
  LEvent done;
  {
    auto device = OpenFast(done, capture);
    LBuffer loop(std::vector<int16_t>{1000, -1000, 2000, -2000});
    loop.header.flags = LWaveHeader::kBeginLoop | LWaveHeader::kEndLoop;
    loop.header.loops = 3;
    device->Write(loop.header);
    EXPECT_TRUE(WaitDone(loop.header));
    device->SetVolume(DbToLevel(0));  // 51264 of 65535
    LBuffer quiet(std::vector<int16_t>{32767, -32768});
    device->Write(quiet.header);
    EXPECT_TRUE(WaitDone(quiet.header));
  }
  const std::vector<int16_t> expected{1000, -1000, 2000, -2000, 1000, -1000, 2000, -2000,
                                      1000, -1000, 2000, -2000, 32767 * 51264 >> 16, -32768 * 51264 >> 16};
  EXPECT_EQ(test::SoxSamples16(capture), expected);
}

TEST(VirtualDeviceTest, ResetMarksEveryQueuedBufferDoneAndStopsAtOnce) {
  LEvent done;
  std::string error;
  auto device = OpenVirtualDevice({}, {44100, 2}, done, &error);  // real time
  ASSERT_TRUE(device);
  std::vector<std::unique_ptr<LBuffer>> buffers;
  for (int i = 0; i < 10; ++i) buffers.push_back(std::make_unique<LBuffer>(std::vector<int16_t>(8820, 1)));
  for (auto& buffer : buffers) device->Write(buffer->header);
  LBuffer loop(std::vector<int16_t>(8820, 2));
  loop.header.flags = LWaveHeader::kBeginLoop | LWaveHeader::kEndLoop;
  loop.header.loops = 2147483647;
  device->Write(loop.header);
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(buffers.back()->header.Done());
  const auto before = std::chrono::steady_clock::now();
  device->Reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 50ms);
  for (auto& buffer : buffers) EXPECT_TRUE(buffer->header.Done());
  EXPECT_TRUE(loop.header.Done());
  // The device plays on after a reset.
  LBuffer after(std::vector<int16_t>(200, 3));
  device->Write(after.header);
  EXPECT_TRUE(WaitDone(after.header));
}

TEST(VirtualDeviceTest, RealTimePacingMarksBuffersDoneWhenTheyHavePlayed) {
  LEvent done;
  std::string error;
  auto device = OpenVirtualDevice({}, {8000, 1}, done, &error);
  ASSERT_TRUE(device);
  std::vector<std::unique_ptr<LBuffer>> buffers;
  for (int i = 0; i < 4; ++i) buffers.push_back(std::make_unique<LBuffer>(std::vector<int16_t>(800, 0)));  // 100 ms each
  const auto start = std::chrono::steady_clock::now();
  for (auto& buffer : buffers) device->Write(buffer->header);
  std::vector<double> doneAtMs;
  for (auto& buffer : buffers) {
    ASSERT_TRUE(WaitDone(buffer->header));
    doneAtMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  for (size_t i = 0; i < doneAtMs.size(); ++i) {
    EXPECT_GE(doneAtMs[i], 100.0 * static_cast<double>(i + 1) - 5) << i;
    EXPECT_LE(doneAtMs[i], 100.0 * static_cast<double>(i + 1) + 60) << i;
  }
  EXPECT_EQ(device->Underruns(), 0);
  // Running dry after the last buffer is no underrun; audio that comes after the gap is.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(device->Underruns(), 0);
  LBuffer late(std::vector<int16_t>(80, 0));
  device->Write(late.header);
  EXPECT_TRUE(WaitDone(late.header));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(device->Underruns(), 1);
}

TEST(VirtualDeviceTest, ADeviceThatFailsMarksItsBuffersDoneAndReportsIt) {
  LEvent done;
  auto device = OpenFast(done, {}, 3000);
  LBuffer first(std::vector<int16_t>(4000, 1));
  LBuffer second(std::vector<int16_t>(4000, 1));
  device->Write(first.header);
  device->Write(second.header);
  EXPECT_TRUE(WaitDone(first.header));
  EXPECT_TRUE(WaitDone(second.header));
  EXPECT_TRUE(device->Failed());
  LBuffer third(std::vector<int16_t>(10, 1));
  device->Write(third.header);
  EXPECT_TRUE(third.header.Done());
  device->Reset();
}

TEST(VirtualDeviceTest, RefusesFormatsAndCaptureFilesItCannotHave) {
  LEvent done;
  std::string error;
  EXPECT_FALSE(OpenVirtualDevice({}, {0, 2}, done, &error));
  EXPECT_NE(error.find("0 Hz"), std::string::npos);
  EXPECT_FALSE(OpenVirtualDevice({}, {44100, 0}, done, &error));
  EXPECT_FALSE(OpenVirtualDevice({LPacing::kRealTime, "/nonexistent/folder/x.wav"}, {44100, 2}, done, &error));
  EXPECT_NE(error.find("/nonexistent/folder/x.wav"), std::string::npos);
  // Eight channels at 192 kHz are fine.
  const std::string capture = test::TempPath(".wav");
  {
    auto device = OpenFast(done, capture, -1, {192000, 8});
    LBuffer buffer(Ramp(8 * 1000, 0));
    device->Write(buffer.header);
    EXPECT_TRUE(WaitDone(buffer.header));
  }
  EXPECT_EQ(test::SoxSamples16(capture), Ramp(8000, 0));
}

TEST(OutputDevicesTest, SoundOutVariableNamesTheVirtualDevice) {
  auto fast = ParseSoundOut("virtual-fast:/tmp/a:b.wav");
  ASSERT_TRUE(fast);
  EXPECT_EQ(fast->pacing, LPacing::kAsFastAsPossible);
  EXPECT_EQ(fast->capturePath, "/tmp/a:b.wav");
  auto realTime = ParseSoundOut("virtual");
  ASSERT_TRUE(realTime);
  EXPECT_EQ(realTime->pacing, LPacing::kRealTime);
  EXPECT_TRUE(realTime->capturePath.empty());
  EXPECT_FALSE(ParseSoundOut("alsa"));
  EXPECT_FALSE(ParseSoundOut(""));
}

TEST(OutputDevicesTest, SystemListEndsWithTheVirtualDeviceAndRefusesUnknownNumbers) {
  ::unsetenv(kSoundOutVariable);
  LSystemOutputDevices devices;
  const std::vector<std::string> names = devices.Names();
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names.front(), kDefaultDeviceName);
  EXPECT_EQ(names.back(), kVirtualDeviceName);
  LEvent done;
  std::string error;
  EXPECT_FALSE(devices.Open(static_cast<int>(names.size()), {44100, 2}, done, &error));
  EXPECT_EQ(error, "there is no output device " + std::to_string(names.size()));
  EXPECT_FALSE(devices.Open(-1, {44100, 2}, done, &error));
  auto virtualDevice = devices.Open(static_cast<int>(names.size()) - 1, {44100, 2}, done, &error);
  ASSERT_TRUE(virtualDevice) << error;
  EXPECT_EQ(virtualDevice->Name(), kVirtualDeviceName);
}

TEST(OutputDevicesTest, AlsaNullDevicePlaysWhenAlsaListsIt) {
  ::unsetenv(kSoundOutVariable);
  const std::vector<LAlsaPcmInfo> pcms = ListAlsaPlaybackPcms();
  int number = 0;
  for (size_t i = 0; i < pcms.size(); ++i) {
    if (pcms[i].name == "null") number = static_cast<int>(i) + 1;
  }
  if (number == 0) GTEST_SKIP() << "ALSA lists no null device";
  LSystemOutputDevices devices;
  LEvent done;
  std::string error;
  auto device = devices.Open(number, {44100, 2}, done, &error);
  ASSERT_TRUE(device) << error;
  EXPECT_EQ(device->Name(), "null");
  std::vector<std::unique_ptr<LBuffer>> buffers;
  for (int i = 0; i < 8; ++i) buffers.push_back(std::make_unique<LBuffer>(std::vector<int16_t>(8820, 7)));
  for (auto& buffer : buffers) device->Write(buffer->header);
  for (auto& buffer : buffers) EXPECT_TRUE(WaitDone(buffer->header));
  EXPECT_FALSE(device->Failed());
  EXPECT_EQ(device->Underruns(), 0);
  // A short sound (less than the device buffer) is played out as well.
  LBuffer tiny(std::vector<int16_t>(20, 1));
  device->Write(tiny.header);
  EXPECT_TRUE(WaitDone(tiny.header));
}

}  // namespace
}  // namespace klangor
