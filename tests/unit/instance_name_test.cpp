#include "bundle/instance_name.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

// The digits are those of 64-bit FNV-1a over the UTF-16LE bytes, worked out apart from this code.
TEST(InstanceName, IsTheFolderHashedIntoSixteenHexDigits) {
  EXPECT_EQ(InstanceName(u""), "Local\\Orvandimex-cbf29ce484222325");
  EXPECT_EQ(InstanceName(u"D:\\SRV\\WEB\\"), "Local\\Orvandimex-a0b509c701abf670");
  EXPECT_EQ(InstanceName(u"D:\\配置 测试\\"), "Local\\Orvandimex-2979bd917504064e");
  EXPECT_EQ(InstanceName(u"D:\\" + std::u16string(5000, u'A')).size(), InstanceName(u"").size());
}

}  // namespace
}  // namespace orv
