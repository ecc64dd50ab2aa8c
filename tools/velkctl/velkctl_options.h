#pragma once
// The portable part of velkctl: its command line, the request it sends, the
// response fields it reads back and their JSON form.
#include <cstdint>
#include <cstddef>
#include <string>
#include <vector>

namespace velk::velkctl {

inline constexpr std::uint32_t kDefaultWaitMs = 10000;
// The longest request the service answers: 4094 bytes.
inline constexpr std::size_t kMaxRequestUnits = 2047;

inline constexpr int kExitOk = 0;
inline constexpr int kExitNotOk = 1;
inline constexpr int kExitNoAnswer = 2;

struct Invocation {
    bool valid = false;
    std::wstring error;  // why the command line was refused
    bool help = false;
    bool version = false;
    bool json = false;
    std::uint32_t waitMs = kDefaultWaitMs;
    std::wstring request;  // exactly what goes on the pipe
};

// `arguments` without the program name. Accepted:
//   [--json] [--wait <ms>] <action> [<argument>]
//   [--json] [--wait <ms>] --raw <request text>
//   --help
//   --version
Invocation ParseInvocation(const std::vector<std::wstring>& arguments);

std::wstring UsageText();

// "velkctl <product version>".
std::wstring VersionText();

struct ResponseFields {
    bool valid = false;  // the line has the response form
    bool ok = false;
    std::wstring exitCode;  // as written: unsigned decimal or -1, -2, -3
    bool hasRunning = false;
    bool running = false;
    std::wstring message;  // to the end of the line, unescaped
};

// Reads "ok=<bool>;exitCode=<code>[;running=<bool>];message=<text>".
ResponseFields ParseResponseLine(const std::wstring& line);

// {"ok":..,"exitCode":..,["running":..,]"message":".."}: the code as a
// number, every code unit outside printable ASCII as a \u escape, so the
// output is plain ASCII whatever the console's code page.
std::wstring ResponseJson(const ResponseFields& fields);

// kExitOk for ok=true, kExitNotOk for ok=false, kExitNoAnswer for a line that
// is not a response.
int ExitCodeFor(const ResponseFields& fields);

}  // namespace velk::velkctl
