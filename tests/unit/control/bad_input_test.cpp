// Random command lines, random tool output and random state files: the
// helper always ends with one of its codes (1, with no log line, when Winsock
// is missing), and never lets a text from the state file into a command line. Seeded and bounded.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "netsteer/control/helper_entry.h"
#include "netsteer/control/start_sequence.h"
#include "netsteer/control/stop_sequence.h"
#include "netsteer/control/route_state.h"
#include "netsteer/machine/text_utils.h"
#include "tests/unit/control/control_fixtures.h"
#include "tests/unit/control/fake_control_system.h"

namespace netsteer::testing {
namespace {

const std::wstring kNetsh = L"netsh interface ipv4 show interfaces";
const std::wstring kRoutePrint = L"route print -4";

std::wstring RandomText(std::mt19937& rng, std::size_t maxLength) {
    static const std::vector<std::wstring> pieces{L"start",
                                                  L"stop",
                                                  L"0.0.0.0",
                                                  L"192.168.1.1",
                                                  L" ",
                                                  L"\t",
                                                  L"\r\n",
                                                  L"\n",
                                                  L"\"",
                                                  L"&",
                                                  L"|",
                                                  L"tun",
                                                  L"On-link",
                                                  L"Active Routes:",
                                                  L"Persistent Routes:",
                                                  L"===",
                                                  L"12",
                                                  L"-5",
                                                  L"99999999999",
                                                  L"The route addition failed",
                                                  L"element not found",
                                                  std::wstring(1, wchar_t(0xFFFD)),
                                                  std::wstring(1, wchar_t(0xD800)),
                                                  std::wstring(1, L'\0')};
    std::wstring text;
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() + 3);
    std::uniform_int_distribution<int> unit(1, 0xFFFF);
    const std::size_t n = length(rng);
    while (text.size() < n) {
        const std::size_t p = pick(rng);
        if (p < pieces.size()) {
            text += pieces[p];
        } else {
            text += static_cast<wchar_t>(unit(rng));
        }
    }
    return text;
}

std::string RandomBytes(std::mt19937& rng, std::size_t maxLength) {
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(length(rng), '\0');
    for (char& b : bytes) {
        b = static_cast<char>(byte(rng));
    }
    return bytes;
}

// Each of the command's runs prints one of the recorded outputs or garbage.
std::vector<std::wstring> RandomOutputs(std::mt19937& rng) {
    const std::vector<std::wstring> recorded{
        kNetshWithTunnel, kNetshWithoutTunnel, kRoutePrintBeforeStart, kRoutePrintTunnelUp,
        kRouteOk,         kRouteAddExists,     kRouteDeleteNotFound,   kPowerShellIndex12,
        std::wstring()};
    std::vector<std::wstring> outputs;
    std::uniform_int_distribution<std::size_t> pick(0, recorded.size());
    for (int i = 0; i < 4; ++i) {
        const std::size_t p = pick(rng);
        outputs.push_back(p < recorded.size() ? recorded[p] : RandomText(rng, 300));
    }
    return outputs;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// With the machine's own output fixed, the route and netsh command lines can
// hold only our fixed words, numbers and dotted addresses.
void ExpectOnlyPlainCommandText(const FakeControlSystem& system) {
    for (const auto& command : system.commands) {
        for (const wchar_t c : command) {
            const bool plain = (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L' ' ||
                               c == L'.' || c == L'-';
            ASSERT_TRUE(plain) << "unexpected code unit " << static_cast<unsigned>(c);
        }
    }
}

TEST(BadInput, RandomCommandLinesEndWithACode) {
    std::mt19937 rng(20261207);
    TempStateFile stateFile;
    for (int round = 0; round < 300; ++round) {
        FakeControlSystem system(stateFile.Path());
        std::uniform_int_distribution<int> argCount(0, 5);
        std::vector<std::wstring> args;
        const int argc = argCount(rng);
        for (int i = 0; i < argc; ++i) {
            args.push_back(RandomText(rng, 40));
        }
        if (args.size() > 2) {
            system.Resolve(args[2], L"203.0.113.7");
        }
        system.resolverStarts = round % 17 != 0;
        for (const auto& command :
             {kNetsh, kRoutePrint,
              std::wstring(
                  L"route add 203.0.113.7 mask 255.255.255.255 192.168.1.1 if 12 metric 1")}) {
            system.Script(command, RandomOutputs(rng));
        }
        std::vector<const wchar_t*> argv;
        for (const auto& arg : args) {
            argv.push_back(arg.c_str());
        }
        const int code = HelperMain(system, argc, argv.data());
        EXPECT_GE(code, 0) << "round " << round;
        EXPECT_LE(code, 11) << "round " << round;
        if (argc > 2 && !system.resolverStarts) {
            EXPECT_EQ(code, 1) << "round " << round;
        }
        if (code == 1) {
            EXPECT_TRUE(system.logs.empty()) << "round " << round;
        } else {
            EXPECT_EQ(system.logs.back().rfind(L"RETURN ", 0) == 0 ||
                          system.logs.back() == L"Stop Ended .... return 0",
                      true)
                << "round " << round;
        }
    }
}

TEST(BadInput, RandomStateFilesNeverReachACommandLine) {
    std::mt19937 rng(4242);
    TempStateFile stateFile;
    for (int round = 0; round < 400; ++round) {
        std::string bytes;
        switch (round % 4) {
            case 0:
                bytes = RandomBytes(rng, 2000);
                break;
            case 1: {  // UTF-16 garbage with line ends where a parser looks
                std::wstring text = RandomText(rng, 200) + L"\n" + RandomText(rng, 20) + L"\n" +
                                    RandomText(rng, 200) + L"\n";
                for (wchar_t c : text) {
                    bytes += static_cast<char>(static_cast<unsigned>(c) & 0xFF);
                    bytes += static_cast<char>((static_cast<unsigned>(c) >> 8) & 0xFF);
                }
                break;
            }
            case 2:  // a valid record with one field spoiled
                bytes = EncodeRouteState({L"192.168.1.1" + RandomText(rng, 3), 12, L"203.0.113.7"});
                break;
            default:
                bytes = RandomBytes(rng, 64 * 1024);
                break;
        }
        WriteBytes(stateFile.Path(), bytes);

        RouteState loaded;
        if (LoadState(stateFile.Path(), loaded)) {
            EXPECT_TRUE(IsPlainDottedIPv4(loaded.gateway)) << "round " << round;
            EXPECT_TRUE(IsPlainDottedIPv4(loaded.serverIp)) << "round " << round;
        }

        FakeControlSystem system(stateFile.Path());
        system.Resolve(L"203.0.113.7", L"203.0.113.7");
        system.Script(kNetsh, {kNetshWithTunnel});
        system.Script(kRoutePrint, {kRoutePrintTunnelUp});
        const wchar_t* argv[] = {L"netsteer.exe", round % 2 == 0 ? L"stop" : L"start",
                                 L"203.0.113.7"};
        const int code = HelperMain(system, 3, argv);
        EXPECT_GE(code, 0);
        EXPECT_LE(code, 11);
        ExpectOnlyPlainCommandText(system);
    }
}

}  // namespace
}  // namespace netsteer::testing
