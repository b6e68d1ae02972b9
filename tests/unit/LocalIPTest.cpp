#include <gtest/gtest.h>

#include "core/AppContext.h"
#include "core/mGetLocalIP.h"
#include "core/mPublicFunction.h"
#include "support/TempDir.h"

using namespace kestrel;

TEST(ExtractField, FieldsOfAnAddress) {
  EXPECT_EQ(ExtractField("192.168.1.10", 1, '.'), "192");
  EXPECT_EQ(ExtractField("192.168.1.10", 2, '.'), "168");
  EXPECT_EQ(ExtractField("192.168.1.10", 4, '.'), "10");
  EXPECT_EQ(ExtractField("192.168.1.10", 5, '.'), "");
  EXPECT_EQ(ExtractField(" a , b ,c ", 2, ','), "b");
  EXPECT_EQ(ExtractField("a,,c", 2, ','), "");
  EXPECT_EQ(ExtractField("", 1, ','), "");
}

TEST(ChooseLocalIP, PreferredAddressOnlyAmongTheFirstFive) {
  const HostAddressTable table = {"10.0.0.1", "192.168.1.10", "172.16.0.1", "", ""};
  EXPECT_EQ(ChooseLocalIP(table, ""), "10.0.0.1");
  EXPECT_EQ(ChooseLocalIP(table, "192.168.1.10"), "192.168.1.10");
  EXPECT_EQ(ChooseLocalIP(table, "192.168.1.99"), "10.0.0.1");
  EXPECT_EQ(ChooseLocalIP(table, "192.168.01.10"), "10.0.0.1");  // written form must match
  EXPECT_EQ(ChooseLocalIP(HostAddressTable{}, "192.168.1.10"), "");
}

TEST(GetHostIPList, KeepsFirstFiveOfTheResolverAndSplits) {
  // localhost resolves from the hosts file: no network involved.
  HostAddressTable table;
  EXPECT_EQ(GetHostIPList("localhost", table), "127.0.0.1");
  EXPECT_EQ(table[0], "127.0.0.1");
  EXPECT_EQ(table[1], "");  // each address once, whatever the socket types
  EXPECT_EQ(GetHostIPList("no-such-host.invalid", table), "");
  EXPECT_EQ(table[0], "");

  EXPECT_EQ(SplitLocalIP("192.168.1.10"), (IPv4Bytes{192, 168, 1, 10}));
  EXPECT_EQ(SplitLocalIP("10.0.300.1"), (IPv4Bytes{10, 0, 44, 1}));
}

TEST(ReadSoftwareIP, FromTheSettingsFolder) {
  test::TempDir dir;
  const AppContext context(dir.str());
  EXPECT_EQ(ReadSoftwareIP(context), "");
  dir.write("localIP.ini", "[softwareip]\r\n  ip =  192.168.1.10  \r\n");
  EXPECT_EQ(ReadSoftwareIP(context), "192.168.1.10");
}
