#include <gtest/gtest.h>

#include <string>

#include "apibuf/ApiBufText.h"
#include "apibuf/CoreApiBuf.h"

namespace zp {
namespace {

TEST(ApiBufText, PinnedBytes) {
  ApiBufReply reply;
  reply.ErrorIndicator = 'Y';
  reply.ErrorCode = 42;
  reply.ErrorSubCode = 7;
  reply.ErrorShortText = "No key";
  reply.ErrorText = "Key store offline";
  reply.PublicKey = "KEY";
  const std::string expected = std::string("$0") + std::string(14, ' ') + "Y" + "000042" + "007" +
                               std::string(20, '0') + std::string(42, ' ') + "\x1C" "017KEY" +
                               "\x1C" "999No key          Key store offline";
  EXPECT_EQ(ComposeApiBufText(reply), expected);
  EXPECT_EQ(ComposeApiBufText(ApiBufReply{}).size(), 88u) << "header only";
}

TEST(ApiBufText, ParsesBackAsTheKeyCheckReadsIt) {
  ApiBufReply key;
  key.PublicKey = std::string(119, 'k') + "\x1C" "tail";
  TCoreApiBuf r;
  std::string text = ComposeApiBufText(key);
  r.ParseBytes(static_cast<std::int32_t>(text.size()), text.data());
  EXPECT_EQ(r.ErrorIndicator, "N");
  EXPECT_EQ(r.S017_01, std::string(119, 'k')) << "cut at the separator";

  ApiBufReply error;
  error.ErrorIndicator = 'Y';
  error.ErrorCode = 1234567;
  error.ErrorSubCode = -1;
  error.ErrorShortText = std::string(20, 's');
  error.ErrorText = std::string(300, 'e');
  text = ComposeApiBufText(error);
  r.Parse(text);
  EXPECT_EQ(r.ErrorIndicator, "Y");
  EXPECT_EQ(r.ErrorCode, 989898);
  EXPECT_EQ(r.ErrorSubCode, 999);
  EXPECT_EQ(r.ErrorShortText, std::string(16, 's'));
  EXPECT_EQ(r.ErrorText, std::string(255, 'e'));
  EXPECT_EQ(r.S017_01, "");
}

}  // namespace
}  // namespace zp
