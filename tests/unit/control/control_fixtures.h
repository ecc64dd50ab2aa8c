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

// Before start: two default routes with real gateways (Ethernet wins on
// metric) and the tunnel adapter's own On-link default route.
inline const std::wstring kRoutePrintBeforeStart =
    L"===========================================================================\r\n"
    L"Interface List\r\n"
    L" 12...00 50 56 95 01 6a ......Intel(R) Ethernet Connection\r\n"
    L" 17...3c 22 fb 11 22 33 ......Intel(R) Wi-Fi 6 AX201\r\n"
    L" 45...........................velk_vpn0\r\n"
    L"  1...........................Software Loopback Interface 1\r\n"
    L"===========================================================================\r\n"
    L"\r\n"
    L"IPv4 Route Table\r\n"
    L"===========================================================================\r\n"
    L"Active Routes:\r\n"
    L"Network Destination        Netmask          Gateway       Interface  Metric\r\n"
    L"          0.0.0.0          0.0.0.0         10.0.0.1        10.0.0.50     50\r\n"
    L"          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     25\r\n"
    L"          0.0.0.0          0.0.0.0         On-link         10.0.85.2      5\r\n"
    L"         10.0.0.0    255.255.255.0         On-link         10.0.0.50    306\r\n"
    L"        127.0.0.0        255.0.0.0         On-link         127.0.0.1    331\r\n"
    L"      192.168.1.0    255.255.255.0          On-link     192.168.1.23    281\r\n"
    L"===========================================================================\r\n"
    L"Persistent Routes:\r\n"
    L"  None\r\n";

// While the tunnel is up: only On-link default routes and the bypass route.
inline const std::wstring kRoutePrintTunnelUp =
    L"===========================================================================\r\n"
    L"Interface List\r\n"
    L" 12...00 50 56 95 01 6a ......Intel(R) Ethernet Connection\r\n"
    L" 45...........................velk_vpn0\r\n"
    L"  1...........................Software Loopback Interface 1\r\n"
    L"===========================================================================\r\n"
    L"\r\n"
    L"IPv4 Route Table\r\n"
    L"===========================================================================\r\n"
    L"Active Routes:\r\n"
    L"Network Destination        Netmask          Gateway       Interface  Metric\r\n"
    L"          0.0.0.0          0.0.0.0         On-link         10.0.85.2      6\r\n"
    L"          0.0.0.0          0.0.0.0         On-link         10.0.85.2      5\r\n"
    L"        127.0.0.0        255.0.0.0         On-link         127.0.0.1    331\r\n"
    L"      203.0.113.7  255.255.255.255      192.168.1.1     192.168.1.23     26\r\n"
    L"===========================================================================\r\n"
    L"Persistent Routes:\r\n"
    L"  None\r\n";

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
