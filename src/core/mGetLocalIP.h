// Choosing the PC's own IPv4 address (the local IP) among the addresses its name resolves to,
// honouring the preferred address of Settings/localIP.ini.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "core/AppContext.h"
#include "core/SharedState.h"

namespace kestrel {

// What the user is told when no local IP can be chosen, and when it is the loopback address.
inline constexpr const char* kNoLocalIPText = "Can not get your local IP,please check you network!";
inline constexpr const char* kLoopbackIPText = "Please check your network and IP settings!";

// The first up to five addresses of the host, dotted-decimal; slots beyond them stay empty.
using HostAddressTable = std::array<std::string, 5>;

// The value of IP in section SoftWareIP of localIP.ini in the context's Settings folder, or empty.
std::string ReadSoftwareIP(const AppContext& context);

// The computer's name.
std::string GetLocalComputerName();

// Fills `table` with the addresses of `name` (platform::HostIPv4Addresses: for the computer's
// own name its interfaces count too, and loopback addresses come last) and returns its first
// address (empty when the host has none).
std::string GetHostIPList(const std::string& name, HostAddressTable& table);

// The choice itself, on a given table: the preferred address when it is one of the table's
// addresses (compared without regard to case), otherwise the first address; empty for an empty
// table.
std::string ChooseLocalIP(const HostAddressTable& table, const std::string& preferred);

// Resolves the computer's own name and chooses among its addresses.
std::string GetLocalIP(const std::string& preferred);

// The four numbers of a dotted address, each reduced to its low byte, leftmost first.
IPv4Bytes SplitLocalIP(const std::string& ip);

// Chooses the local IP (honouring localIP.ini of the context's Settings folder) and stores it in
// `state`; `chosen` hears of it before it is checked. Empty, after the user was told why through
// the context's prompts, when there is none or it is a loopback address (127.0.0.0/8): the
// program cannot go on the bus then.
std::string TakeLocalIP(const AppContext& context, SharedState& state,
                        const std::function<void(const std::string&)>& chosen = {});

}  // namespace kestrel
