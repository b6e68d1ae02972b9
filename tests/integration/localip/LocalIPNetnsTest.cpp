// The local address chosen from the computer's own addresses and the preferred address of
// Settings/localIP.ini, in the namespaces run_localip_test.sh makes. Never run directly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "core/AppContext.h"
#include "core/mGetLocalIP.h"
#include "support/PrivateNetns.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"

using namespace kestrel;

namespace {

std::string Choose(const char* localIPIni) {
  test::TempDir settings;
  if (localIPIni != nullptr) settings.write("localIP.ini", localIPIni);
  return GetLocalIP(ReadSoftwareIP(AppContext(settings.str())));
}

}  // namespace

// Six addresses from the hosts file, no interface but the loopback.
TEST(LocalIP, HostTableHoldsTheFirstFiveInResolverOrder) {
  HostAddressTable table;
  EXPECT_EQ(GetHostIPList(GetLocalComputerName(), table), "10.79.0.1");
  EXPECT_EQ(table, (HostAddressTable{"10.79.0.1", "10.79.0.2", "10.79.0.3", "10.79.0.4", "10.79.0.5"}));
}

TEST(LocalIP, PreferredAddressWinsOnlyAmongTheFirstFive) {
  EXPECT_EQ(Choose(nullptr), "10.79.0.1");
  EXPECT_EQ(Choose("[SoftWareIP]\r\nIP=10.79.0.2\r\n"), "10.79.0.2");
  EXPECT_EQ(Choose("[softwareip]\r\nip = 10.79.0.5\r\n"), "10.79.0.5");
  EXPECT_EQ(Choose("[SoftWareIP]\r\nIP=10.79.0.6\r\n"), "10.79.0.1");  // the sixth address
  EXPECT_EQ(Choose("[SoftWareIP]\r\nIP=10.79.00.2\r\n"), "10.79.0.1");
  EXPECT_EQ(SplitLocalIP(Choose("[SoftWareIP]\r\nIP=10.79.0.3\r\n")), (IPv4Bytes{10, 79, 0, 3}));
}

// The name maps to 127.0.1.1 in the hosts file, as on a stock Debian host. With a LAN address
// on an interface (KESTREL_LAN_IP) that address is found; without one, the loopback address is
// refused as 127.0.0.1 is. A preferred loopback address is refused too.
TEST(LoopbackName, TheLanAddressIsFoundAndNoLoopbackAddressIsTaken) {
  const std::string lan = std::getenv("KESTREL_LAN_IP") != nullptr ? std::getenv("KESTREL_LAN_IP") : "";
  const std::string preferLan = "[SoftWareIP]\r\nIP=" + lan + "\r\n";
  const struct {
    const char* what;
    const char* localIPIni;
    std::string expected;  // empty: refused with the loopback message
  } cases[] = {
      {"no preference", nullptr, lan},
      {"the LAN address preferred", preferLan.c_str(), lan},
      {"127.0.1.1 preferred", "[SoftWareIP]\r\nIP=127.0.1.1\r\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir settings;
    if (c.localIPIni != nullptr) settings.write("localIP.ini", c.localIPIni);
    test::RecordingPrompts prompts;
    const AppContext context(settings.str(), &prompts);
    SharedState state;
    EXPECT_EQ(TakeLocalIP(context, state), c.expected);
    const auto shown = prompts.Shown();
    if (c.expected.empty()) {
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(shown[0], std::make_pair(PromptKind::InfoOk, std::string(kLoopbackIPText)));
    } else {
      EXPECT_TRUE(shown.empty());
    }
  }
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!test::InPrivateNetworkNamespace()) {
    std::cerr << "These tests choose the address the bus would run on: they run only through\n"
                 "run_localip_test.sh, inside the network namespaces it makes.\n";
    return 1;
  }
  return RUN_ALL_TESTS();
}
