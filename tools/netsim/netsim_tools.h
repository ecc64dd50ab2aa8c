#pragma once
// The simulated command-line tools, each a function from its arguments and
// the machine to its output. The programs load the machine, call one of these
// and save the machine again.
#include <string>
#include <vector>

#include "tools/netsim/netsim_languages.h"
#include "tools/netsim/netsim_machine.h"

namespace netsim {

struct ToolResult {
    std::wstring out;  // standard output
    std::wstring err;  // standard error
    int exitCode = 0;
};

// route.exe: print, add, delete and change of IPv4 routes.
ToolResult RunRoute(Machine& machine, const std::vector<std::wstring>& args);

// netsh.exe: "interface ipv4 show interfaces"; every listing counts down the
// pending tunnel adapter. Also the IPv6 route changes (RunNetshIpv6Route).
ToolResult RunNetsh(Machine& machine, const std::vector<std::wstring>& args);

// powershell.exe: only the Get-NetIPAddress queries for the index of the
// interface with an address, and for the addresses of the interface with an
// index, and the NRPT scripts (RunNrptScript).
ToolResult RunPowerShell(Machine& machine, const std::vector<std::wstring>& args);

// Looks for an injected failure whose pattern the command line holds; when one
// matches, it is used up once and `result` gets its message.
bool TakeInjectedFailure(Machine& machine, const std::wstring& tool,
                         const std::vector<std::wstring>& args, ToolResult& result);

// The command line as the journal records it: tool and arguments joined by blanks.
std::wstring JoinCommandLine(const std::wstring& tool, const std::vector<std::wstring>& args);

// The script the PowerShell query runs for `address`.
std::wstring UplinkQueryScript(const std::wstring& address);

// Named failure messages "netsim fail" accepts in place of a literal text,
// in `language`.
std::wstring FailureMessageByName(const std::wstring& name, const Language& language);

}  // namespace netsim
