#pragma once
// The simulated machine shared by the stand-ins for route, netsh and
// powershell: its interfaces, its IPv4 route table, and the knobs a test
// turns (a tunnel that appears later, injected failures, the language, how
// slowly the tools answer).
#include <cstdint>
#include <string>
#include <vector>

namespace netsim {

inline constexpr wchar_t kOnLink[] = L"On-link";
// Metric Windows gives the routes it creates for an interface's own addresses.
inline constexpr int kOnLinkRouteMetric = 256;
// The longest answer delay "netsim delay" takes: a slip of the finger must not
// stall every tool for days.
inline constexpr int kMaxToolDelayMs = 60000;

struct Interface {
    int index = 0;
    int metric = 0;  // the interface metric, added to each route's own metric
    std::uint32_t mtu = 1500;
    bool connected = true;
    std::wstring mac;  // "00 15 5d 01 02 03", or empty for adapters without one
    std::wstring address;
    std::wstring mask;
    // The default gateway of the network the interface sits on, as DHCP gives
    // it; empty for an interface without one (the loopback, the tunnel).
    std::wstring gateway;
    std::wstring name;         // the alias netsh lists
    std::wstring description;  // the adapter name route print lists
    // The DNS servers the interface was given (by DHCP, or by the VPN for its
    // adapter), in order.
    std::vector<std::wstring> dnsServers;
};

// The router every uplink's network advertises for IPv6.
inline constexpr wchar_t kIpv6Router[] = L"fe80::1";
// The next hop of an IPv6 route without one.
inline constexpr wchar_t kIpv6OnLink[] = L"::";

struct Route6 {
    std::wstring prefix;  // "::/0", "8000::/1", as netsh takes it
    int interfaceIndex = 0;
    std::wstring nextHop;  // kIpv6OnLink or a router's address
    bool persistent = false;
};

// A rule of the Name Resolution Policy Table: names under `nameSpace` ("."
// is every name) are asked of `servers`. Kept in the registry, so a restart
// keeps it.
struct NrptRule {
    std::wstring nameSpace;
    std::vector<std::wstring> servers;
    std::wstring comment;
};

struct Route {
    std::wstring destination;
    std::wstring mask;
    std::wstring gateway;  // a dotted address, or kOnLink
    int interfaceIndex = 0;
    int metric = 0;  // the route's own metric; 0 means automatic
    bool persistent = false;
};

// A command whose lower-cased command line contains `pattern` prints
// `message` instead of doing its work, `remaining` more times (-1: always).
struct Failure {
    std::wstring pattern;
    std::wstring message;
    int remaining = -1;
};

struct Machine {
    std::wstring language = L"en";
    std::vector<Interface> interfaces;
    std::vector<Route> routes;
    std::vector<Route6> routes6;
    std::vector<NrptRule> nrptRules;
    // The adapter that appears once `tunnelCountdown` more interface listings
    // have been printed without it.
    bool tunnelPending = false;
    int tunnelCountdown = 0;
    Interface pendingTunnel;
    int interfaceListings = 0;
    std::vector<Failure> failures;
    std::vector<std::wstring> journal;  // every tool command line, in order
    // How long route, netsh and powershell wait before they answer, as on a
    // slow machine; 0 to kMaxToolDelayMs.
    int toolDelayMs = 0;
};

// IPv4 dotted text, strictly four decimal parts of 0..255.
bool ParseIpv4(const std::wstring& text, std::uint32_t& value);
std::wstring FormatIpv4(std::uint32_t value);
// Decimal digits only, no sign, at most nine of them.
bool ParseCount(const std::wstring& text, int& value);
std::wstring ToLower(std::wstring text);

const Interface* FindInterface(const Machine& machine, int index);
// The interface whose address equals `address`, or null.
const Interface* FindInterfaceByAddress(const Machine& machine, const std::wstring& address);
// The connected interface whose subnet holds `address`, or null.
const Interface* FindInterfaceForGateway(const Machine& machine, const std::wstring& address);

// Adds the interface and its routes (AddInterfaceRoutes).
void AddInterface(Machine& machine, const Interface& added);
// The routes Windows creates for a connected interface: on-link ones for its
// address (its subnet, its host, its broadcast, multicast and limited
// broadcast), and a default route through its network's gateway, if any;
// such a network's router also advertises the IPv6 default route (::/0 via
// kIpv6Router, active store).
void AddInterfaceRoutes(Machine& machine, const Interface& item);
// Removes the interface and every route through it, IPv4 and IPv6.
void RemoveInterface(Machine& machine, int index);

// The state file: UTF-8 text, one record per line, fields separated by tabs.
// An interface record without the gateway field (as older files have it)
// reads as an interface without a gateway.
std::wstring SerializeMachine(const Machine& machine);
// Returns false with a reason for a record it does not understand.
bool ParseMachine(const std::wstring& text, Machine& machine, std::wstring& error);

}  // namespace netsim
