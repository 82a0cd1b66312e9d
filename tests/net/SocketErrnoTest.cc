#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "platform/Sockets.h"

// Where the sockets are POSIX ones: their errors onto the Windows Sockets codes.
namespace zp {
namespace {

TEST(SocketErrors, ErrorTableKeepsFailuresFailures) {
  EXPECT_EQ(WsaErrorFromErrno(EIO), EIO) << "an unmapped error is still an error";
  EXPECT_EQ(WsaErrorFromAddrInfo(EAI_SYSTEM, ECONNREFUSED), WSAECONNREFUSED);
  EXPECT_EQ(WsaErrorFromAddrInfo(EAI_SYSTEM, 0), WSANO_RECOVERY);
}

}  // namespace
}  // namespace zp
