// velkctl's response parser on response messages of any shape. The first
// byte also picks fields for a line built here. Properties: a line that
// parses is exactly its fields written out again; a line built from fields
// parses back into them; the JSON form is printable ASCII whose message
// unescapes to the message; the exit code follows the fields.
#include <cstddef>
#include <cstdint>
#include <string>

#include "service/channel/client/pipe_framing.h"
#include "tests/fuzz/fuzz_check.h"
#include "tools/velkctl/velkctl_options.h"

namespace {

using velk::fuzz::Require;
using velk::velkctl::ResponseFields;

const wchar_t* const kCodes[] = {L"0", L"1", L"-1", L"-2", L"-3", L"259", L"4294967295"};
constexpr std::size_t kCodeCount = sizeof kCodes / sizeof kCodes[0];

std::wstring Flag(bool value) {
    return value ? L"true" : L"false";
}

std::wstring LineOf(const ResponseFields& f) {
    std::wstring line = L"ok=" + Flag(f.ok) + L";exitCode=" + f.exitCode;
    if (f.hasRunning) {
        line += L";running=" + Flag(f.running);
    }
    return line + L";message=" + f.message;
}

bool Same(const ResponseFields& a, const ResponseFields& b) {
    return a.valid == b.valid && a.ok == b.ok && a.exitCode == b.exitCode &&
           a.hasRunning == b.hasRunning && a.running == b.running && a.message == b.message;
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    return -1;
}

// The message string of the JSON form, unescaped; false when it is malformed.
bool JsonMessage(const std::wstring& json, std::wstring& message) {
    const std::wstring key = L",\"message\":\"";
    const std::size_t start = json.find(key);
    if (start == std::wstring::npos || json.size() < start + key.size() + 2 ||
        json.compare(json.size() - 2, 2, L"\"}") != 0) {
        return false;
    }
    const std::wstring escaped =
        json.substr(start + key.size(), json.size() - start - key.size() - 2);
    const std::wstring simple = L"\"\\bfnrt";
    const std::wstring meant = L"\"\\\b\f\n\r\t";
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == L'"') {
            return false;
        }
        if (escaped[i] != L'\\') {
            message += escaped[i];
            continue;
        }
        if (++i == escaped.size()) {
            return false;
        }
        const std::size_t which = simple.find(escaped[i]);
        if (which != std::wstring::npos) {
            message += meant[which];
            continue;
        }
        if (escaped[i] != L'u' || i + 4 >= escaped.size()) {
            return false;
        }
        unsigned unit = 0;
        for (std::size_t k = 1; k <= 4; ++k) {
            const int digit = HexValue(escaped[i + k]);
            if (digit < 0) {
                return false;
            }
            unit = unit * 16 + static_cast<unsigned>(digit);
        }
        message += static_cast<wchar_t>(unit);
        i += 4;
    }
    return true;
}

void CheckParsed(const std::wstring& line, const ResponseFields& f) {
    const int exitCode = velk::velkctl::ExitCodeFor(f);
    if (!f.valid) {
        Require(Same(f, ResponseFields()), "a line that is no response gives no fields");
        Require(exitCode == velk::velkctl::kExitNoAnswer, "no response, no answer");
        return;
    }
    Require(LineOf(f) == line, "a response line is exactly its fields");
    Require(exitCode == (f.ok ? velk::velkctl::kExitOk : velk::velkctl::kExitNotOk),
            "the exit code follows ok");
    const std::wstring json = velk::velkctl::ResponseJson(f);
    for (const wchar_t c : json) {
        Require(c >= 0x20 && c < 0x7F, "the JSON form is printable ASCII");
    }
    std::wstring message;
    Require(JsonMessage(json, message) && message == f.message,
            "the JSON message unescapes to the message");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::wstring line = velk::DecodeResponse(velk::fuzz::Bytes(data + 1, size - 1)).line;
    CheckParsed(line, velk::velkctl::ParseResponseLine(line));

    ResponseFields built;
    built.valid = true;
    built.ok = (data[0] & 1) != 0;
    built.hasRunning = (data[0] & 2) != 0;
    built.running = built.hasRunning && (data[0] & 4) != 0;
    built.exitCode = kCodes[(data[0] >> 3) % kCodeCount];
    built.message = line;
    const ResponseFields parsed = velk::velkctl::ParseResponseLine(LineOf(built));
    Require(Same(parsed, built), "a line built from fields gives them back");
    CheckParsed(LineOf(built), parsed);
    return 0;
}
