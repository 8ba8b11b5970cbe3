// The virtual camera's back-end pipes: another base name gives other pipe
// names for the same camera units, and a name that is no pipe name is refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "virtcam/win32/pipe_server.h"
#include "virtdrv_control.h"

namespace {

using pelnik::virtcam::win32::PipeServer;

TEST(BackEndPipe, TheBaseNameReplacesTheDeviceBaseNameOnly) {
  EXPECT_EQ(PipeServer::pipePath(0), "\\\\.\\pipe\\PNikR5MLX-0");
  EXPECT_EQ(PipeServer::pipePath(10, "PNikR5MLXDrv"), "\\\\.\\pipe\\PNikR5MLXDrv-A");
  // The unit character is the camera's own ("-N" for camera 22, N before M).
  const std::string own = PipeServer::pipePath(22);
  EXPECT_EQ(PipeServer::pipePath(22, "X"), "\\\\.\\pipe\\X" + own.substr(own.size() - 2));
}

TEST(BackEndPipe, NamesThatAreNoPipeNamesAreRefused) {
  EXPECT_TRUE(PipeServer::validBaseName(PELNIK_VIRTDRV_BACKEND_BASE));
  EXPECT_FALSE(PipeServer::validBaseName(""));
  EXPECT_FALSE(PipeServer::validBaseName("a\\b"));
  EXPECT_FALSE(PipeServer::validBaseName("a/b"));
  EXPECT_FALSE(PipeServer::validBaseName(std::string(65, 'a')));
  PipeServer refused({0}, {}, "..\\x");
  EXPECT_FALSE(refused.ok());
}

TEST(BackEndPipe, AServerUnderAnotherNameLeavesTheSdksPipeFree) {
  PipeServer server({0}, {}, PELNIK_VIRTDRV_BACKEND_BASE);
  ASSERT_TRUE(server.ok()) << server.error();
  EXPECT_TRUE(::WaitNamedPipeA(PipeServer::pipePath(0, PELNIK_VIRTDRV_BACKEND_BASE).c_str(), 1000));
  EXPECT_FALSE(::WaitNamedPipeA(PipeServer::pipePath(0).c_str(), 10));
}

}  // namespace
