// velkctl: a command-line client of the VelkVPNService pipe for people and
// scripts. See UsageText() for the command line.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/local_memory.h"
#include "common/wide_text.h"
#include "service/service_constants.h"
#include "tools/velkctl/velkctl_client.h"
#include "tools/velkctl/velkctl_options.h"

namespace {

// UTF-8 on standard output and error, whatever the console's code page.
void Print(FILE* stream, const std::wstring& text) {
    const std::string bytes = velk::WideToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace

int wmain() {
    using namespace velk::velkctl;
    // Binary output: a message with CR LF of its own must not become CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int count = 0;
    const velk::UniqueLocal<LPWSTR> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::wstring> arguments;
    for (int i = 1; argv && i < count; ++i) {
        arguments.emplace_back(argv.Get()[i]);
    }

    const Invocation invocation = ParseInvocation(arguments);
    if (!invocation.valid) {
        Print(stderr, L"velkctl: " + invocation.error + L"\r\n" + UsageText());
        return kExitNoAnswer;
    }
    if (invocation.help) {
        Print(stdout, UsageText());
        return kExitOk;
    }
    if (invocation.version) {
        Print(stdout, VersionText());
        return kExitOk;
    }

    ClientSettings settings;
    settings.pipeName = velk::kPipeName;
    settings.waitMs = invocation.waitMs;
    settings.expectedServer = ServiceProcessId;
    const ClientResult result = SendRequest(settings, invocation.request);
    if (!result.answered) {
        Print(stderr, L"velkctl: no answer: " + result.error + L"\r\n");
        return kExitNoAnswer;
    }
    const ResponseFields fields = ParseResponseLine(result.line);
    if (!fields.valid) {
        Print(stderr, L"velkctl: the answer is not a response line: " + result.line + L"\r\n");
        return kExitNoAnswer;
    }
    Print(stdout, (invocation.json ? ResponseJson(fields) : result.line) + L"\r\n");
    return ExitCodeFor(fields);
}
