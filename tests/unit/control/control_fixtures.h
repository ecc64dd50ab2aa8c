#pragma once
// Tool output as the Windows tools print it (CR LF line ends, real layouts:
// route rows in right-aligned columns ending at 17, 34, 51, 68 and 75, where
// "On-link" keeps a blank before the column end as the real tool prints it),
// for a machine with Ethernet 192.168.1.23 behind gateway 192.168.1.1 on
// interface 12, Wi-Fi 10.0.0.50 behind 10.0.0.1, and the tunnel velk_vpn0 at
// index 45.
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace netsteer::testing {

inline const std::wstring kNetshWithoutTunnel =
    L"\r\n"
    L"Idx     Met         MTU          State                Name\r\n"
    L"---  ----------  ----------  ------------  ---------------------------\r\n"
    L"  1          75  4294967295  connected     Loopback Pseudo-Interface 1\r\n"
    L" 12          25        1500  connected     Ethernet\r\n"
    L" 17          50        1500  connected     Wi-Fi\r\n"
    L"\r\n";

inline const std::wstring kNetshWithTunnel =
    L"\r\n"
    L"Idx     Met         MTU          State                Name\r\n"
    L"---  ----------  ----------  ------------  ---------------------------\r\n"
    L"  1          75  4294967295  connected     Loopback Pseudo-Interface 1\r\n"
    L" 12          25        1500  connected     Ethernet\r\n"
    L" 17          50        1500  connected     Wi-Fi\r\n"
    L" 45           5        1420  connected     velk_vpn0\r\n"
    L"\r\n";

inline const wchar_t kTunnelMatchedLog[] =
    L"GetTunnelIndex matched line: 45           5        1420  connected     velk_vpn0";

inline const std::wstring kNetshNoMatchLog =
    L"GetTunnelIndex no match. netsh output:\n" + kNetshWithoutTunnel;

// A "route print -4" listing in the real layout: the interface list (lines
// without their CR LF), then the active routes given as rows.
inline std::wstring RoutePrintListing(const std::vector<std::wstring>& interfaces,
                                      const std::vector<std::wstring>& rows) {
    const std::wstring ruler =
        L"===========================================================================\r\n";
    std::wstring listing = ruler + L"Interface List\r\n";
    for (const std::wstring& line : interfaces) {
        listing += line + L"\r\n";
    }
    listing += ruler + L"\r\nIPv4 Route Table\r\n" + ruler +
               L"Active Routes:\r\n"
               L"Network Destination        Netmask          Gateway       Interface  Metric\r\n";
    for (const std::wstring& row : rows) {
        listing += row + L"\r\n";
    }
    return listing + ruler + L"Persistent Routes:\r\n  None\r\n";
}

inline const wchar_t kListedEthernet[] =
    L" 12...00 50 56 95 01 6a ......Intel(R) Ethernet Connection";
inline const wchar_t kListedWifi[] = L" 17...3c 22 fb 11 22 33 ......Intel(R) Wi-Fi 6 AX201";
inline const wchar_t kListedTunnel[] = L" 45...........................velk_vpn0";
inline const wchar_t kListedLoopback[] =
    L"  1...........................Software Loopback Interface 1";

// Before start: two default routes with real gateways (Ethernet wins on
// metric) and the tunnel adapter's own On-link default route.
inline const std::wstring kRoutePrintBeforeStart = RoutePrintListing(
    {kListedEthernet, kListedWifi, kListedTunnel, kListedLoopback},
    {L"          0.0.0.0          0.0.0.0         10.0.0.1        10.0.0.50     50",
     L"          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     25",
     L"          0.0.0.0          0.0.0.0         On-link         10.0.85.2      5",
     L"         10.0.0.0    255.255.255.0         On-link         10.0.0.50    306",
     L"        127.0.0.0        255.0.0.0         On-link         127.0.0.1    331",
     L"      192.168.1.0    255.255.255.0          On-link     192.168.1.23    281"});

// While the tunnel is up: only On-link default routes and the bypass route.
inline const std::wstring kRoutePrintTunnelUp = RoutePrintListing(
    {kListedEthernet, kListedTunnel, kListedLoopback},
    {L"          0.0.0.0          0.0.0.0         On-link         10.0.85.2      6",
     L"          0.0.0.0          0.0.0.0         On-link         10.0.85.2      5",
     L"        127.0.0.0        255.0.0.0         On-link         127.0.0.1    331",
     L"      203.0.113.7  255.255.255.255      192.168.1.1     192.168.1.23     26"});

// A listing of Ethernet and the loopback with the given active routes.
inline std::wstring RoutePrintWithRows(const std::vector<std::wstring>& rows) {
    return RoutePrintListing({kListedEthernet, kListedLoopback}, rows);
}

// Route rows of the machines below.
inline const wchar_t kRowHomeDefault[] =
    L"          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     25";
inline const wchar_t kRowOfficeDefault[] =
    L"          0.0.0.0          0.0.0.0       172.20.4.1      172.20.4.61     25";
inline const wchar_t kRowTunnelDefault[] =
    L"          0.0.0.0          0.0.0.0         On-link         10.0.85.2      5";
inline const wchar_t kRowLoopback[] =
    L"        127.0.0.0        255.0.0.0         On-link         127.0.0.1    331";
inline const wchar_t kRowOfficeSubnet[] =
    L"       172.20.4.0    255.255.255.0         On-link       172.20.4.61    281";
inline const wchar_t kRowBypassViaHome[] =
    L"      203.0.113.7  255.255.255.255      192.168.1.1     192.168.1.23     26";

// Ethernet has moved to the office network (172.20.4.61 behind 172.20.4.1)
// since `start`: after a restart, so without the tunnel, and with the tunnel
// still up.
inline const std::wstring kRoutePrintMovedToOffice =
    RoutePrintWithRows({kRowOfficeDefault, kRowLoopback, kRowOfficeSubnet});
inline const std::wstring kRoutePrintMovedTunnelUp =
    RoutePrintListing({kListedEthernet, kListedTunnel, kListedLoopback},
                      {kRowOfficeDefault, kRowTunnelDefault, kRowLoopback, kRowOfficeSubnet});
// Back on the home network after a restart: the tunnel and its routes are
// gone, the network gave Ethernet its default route again.
inline const std::wstring kRoutePrintAfterRestart =
    RoutePrintWithRows({kRowHomeDefault, kRowLoopback});

inline const std::wstring kRouteOk = L" OK!\r\n";
inline const std::wstring kRouteAddExists =
    L"The route addition failed: The object already exists.\r\n\r\n";
inline const std::wstring kRouteAddBadInterface =
    L"The route addition failed: Either the interface index is wrong or the gateway does not "
    L"lie on the same network as the interface. Check the IP Address Table for the machine.\r\n"
    L"\r\n";
inline const std::wstring kRouteDeleteNotFound =
    L"The route deletion failed: Element not found.\r\n\r\n";

inline const std::wstring kPowerShellIndex12 = L"12\r\n";
inline const std::wstring kPowerShellNotRecognised =
    L"Get-NetIPAddress : The term 'Get-NetIPAddress' is not recognized as the name of a cmdlet, "
    L"function, script file, or operable program.\r\n";

// A state file path in a directory of its own, removed with everything in it
// when the test ends. The file itself is not created.
class TempStateFile {
  public:
    TempStateFile() {
        static int counter = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir_ = std::filesystem::temp_directory_path() /
               ("velk-control-" + std::to_string(stamp) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "route_state.txt").wstring();
    }
    ~TempStateFile() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TempStateFile(const TempStateFile&) = delete;
    TempStateFile& operator=(const TempStateFile&) = delete;

    const std::wstring& Path() const { return path_; }
    const std::filesystem::path& Directory() const { return dir_; }

  private:
    std::filesystem::path dir_;
    std::wstring path_;
};

}  // namespace netsteer::testing
