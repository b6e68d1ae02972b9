// The local address chosen from what the computer's own name resolves to (six addresses here,
// see run_localip_test.sh) and the preferred address of Settings/localIP.ini.
#include <gtest/gtest.h>

#include "core/AppSettings.h"
#include "core/mGetLocalIP.h"
#include "support/TempDir.h"

using namespace kestrel;

namespace {

std::string Choose(const char* localIPIni) {
  test::TempDir settings;
  SetSettingsDir(settings.str());
  if (localIPIni != nullptr) settings.write("localIP.ini", localIPIni);
  const std::string ip = GetLocalIP(ReadSoftwareIP());
  SetSettingsDir("");
  return ip;
}

}  // namespace

TEST(LocalIP, HostTableHoldsTheFirstFiveInResolverOrder) {
  EXPECT_EQ(GetHostIPList(GetLocalComputerName()), "10.79.0.1");
  EXPECT_EQ(HostAddresses(), (HostAddressTable{"10.79.0.1", "10.79.0.2", "10.79.0.3", "10.79.0.4", "10.79.0.5"}));
}

TEST(LocalIP, PreferredAddressWinsOnlyAmongTheFirstFive) {
  EXPECT_EQ(Choose(nullptr), "10.79.0.1");
  EXPECT_EQ(Choose("[SoftWareIP]\r\nIP=10.79.0.2\r\n"), "10.79.0.2");
  EXPECT_EQ(Choose("[softwareip]\r\nip = 10.79.0.5\r\n"), "10.79.0.5");
  EXPECT_EQ(Choose("[SoftWareIP]\r\nIP=10.79.0.6\r\n"), "10.79.0.1");  // the sixth address
  EXPECT_EQ(Choose("[SoftWareIP]\r\nIP=10.79.00.2\r\n"), "10.79.0.1");
  EXPECT_EQ(SplitLocalIP(Choose("[SoftWareIP]\r\nIP=10.79.0.3\r\n")), (IPv4Bytes{10, 79, 0, 3}));
}
