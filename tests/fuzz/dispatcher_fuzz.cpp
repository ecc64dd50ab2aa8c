// HandleCommand on requests as they come off the pipe, over the recording
// fake. The first byte picks the fake's results, the rest is the pipe message.
// Properties: the response has the response form, its fields in order, with
// running only for xray_status; its flag and code are what the operation
// returned; it holds no NUL (the client would cut the line there); only the
// operations of one action are called, with arguments that came from the
// request; the log holds the request and then, if any, the response.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/wide_text.h"
#include "service/channel/command_dispatcher.h"
#include "service/channel/client/pipe_framing.h"
#include "service/service_constants.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/recording_operations.h"
#include "tests/support/dispatch_as_system.h"

namespace {

using velk::fuzz::Require;
using velk::test_support::FakeResults;
using velk::test_support::RecordingOperations;

constexpr std::uint32_t kCodes[] = {0, 1, 7, 259, 1460, 4294967295u};
constexpr std::size_t kCodeCount = sizeof kCodes / sizeof kCodes[0];
const std::wstring kTail = L"a;exitCode=5\r\nok=false\x00e9";

FakeResults ResultsFor(std::uint8_t pick) {
    FakeResults results;
    const std::uint32_t code = kCodes[pick % kCodeCount];
    const bool ok = (pick & 0x10) != 0;
    results.status = {ok, code};
    results.start = ok ? velk::CoreStarted() : velk::CoreEndedAtOnce(code);
    results.stop = {ok, code};
    results.helper = {ok, code};
    if ((pick & 0x20) != 0) {
        results.moduleDirectory.clear();
    }
    if ((pick & 0x40) != 0) {
        results.tails[velk::CoreLog::kRuntime] = kTail;
    } else if ((pick & 0x80) != 0) {
        results.tails[velk::CoreLog::kError] = kTail;
    }
    return results;
}

bool Take(const std::wstring& line, std::size_t& at, const std::wstring& piece) {
    if (line.compare(at, piece.size(), piece) != 0) {
        return false;
    }
    at += piece.size();
    return true;
}

bool TakeBool(const std::wstring& line, std::size_t& at) {
    return Take(line, at, L"true") || Take(line, at, L"false");
}

// The dispatcher's own codes, or an unsigned 32-bit decimal without padding.
bool TakeCode(const std::wstring& line, std::size_t& at) {
    if (Take(line, at, L"-1") || Take(line, at, L"-2") || Take(line, at, L"-3")) {
        return true;
    }
    const std::size_t start = at;
    while (at < line.size() && line[at] >= L'0' && line[at] <= L'9') {
        ++at;
    }
    const std::size_t digits = at - start;
    return digits >= 1 && digits <= 10 && (digits == 1 || line[start] != L'0');
}

// "ok=<bool>;exitCode=<code>[;running=<bool>];message=<text>".
bool HasResponseForm(const std::wstring& line, bool& hasRunning) {
    std::size_t at = 0;
    if (!Take(line, at, L"ok=") || !TakeBool(line, at) || !Take(line, at, L";exitCode=") ||
        !TakeCode(line, at)) {
        return false;
    }
    hasRunning = Take(line, at, L";running=");
    if (hasRunning && !TakeBool(line, at)) {
        return false;
    }
    return Take(line, at, L";message=");
}

std::wstring Flag(bool value) {
    return value ? L"true" : L"false";
}

std::wstring ResultLine(const velk::OpResult& result, const std::wstring& message) {
    return L"ok=" + Flag(result.ok) + L";exitCode=" + velk::ToDecimal(result.code) + L";message=" +
           message;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

// The helper's arguments: the action word, a blank and the host in quotes,
// the host a non-empty word of the request.
void CheckHelperCall(const std::wstring& call, const std::wstring& request,
                     const FakeResults& results) {
    const std::wstring prefix =
        L"RunHelperProcess|" + results.moduleDirectory + velk::kHelperProgramName + L"|";
    const std::wstring suffix = L"|" + velk::ToDecimal(velk::kHelperTimeoutMs);
    Require(call.size() > prefix.size() + suffix.size() && StartsWith(call, prefix) &&
                call.compare(call.size() - suffix.size(), suffix.size(), suffix) == 0,
            "the helper program and its time-out");
    const std::wstring arguments =
        call.substr(prefix.size(), call.size() - prefix.size() - suffix.size());
    const std::size_t quote = arguments.find(L" \"");
    Require(
        quote != std::wstring::npos && arguments.back() == L'"' && arguments.size() >= quote + 4,
        "helper arguments are the action and the host in quotes");
    const std::wstring word = arguments.substr(0, quote);
    Require(word == L"start" || word == L"stop", "helper action is start or stop");
    const std::wstring host = arguments.substr(quote + 2, arguments.size() - quote - 3);
    Require(Contains(request, host), "the host comes from the request");
    Require(!Contains(host, L" ") && !Contains(host, L"\t") && !Contains(host, L"\n"),
            "the host is one word");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const FakeResults results = ResultsFor(data[0]);
    const std::wstring request = velk::DecodeRequest(data + 1, size - 1);
    RecordingOperations operations(results);
    std::vector<std::wstring> logged;
    const std::wstring response = velk::test_support::HandleAsSystem(
        request, operations, [&logged](const std::wstring& line) { logged.push_back(line); });

    bool hasRunning = false;
    Require(HasResponseForm(response, hasRunning), "the response has its fields in order");
    Require(response.find(L'\0') == std::wstring::npos, "the response holds no NUL");
    Require(!logged.empty() && logged.front() == L"Received command: " + request,
            "the request is logged first");
    Require(logged.size() <= 2 && (logged.size() == 1 || logged[1] == L"Response: " + response),
            "the response is logged after it, or nothing is");

    const std::vector<std::wstring>& calls = operations.calls;
    if (calls.empty()) {
        Require(!hasRunning, "running only for xray_status");
        Require(logged.size() == 1, "an answer without an operation is not logged");
        Require(StartsWith(response, L"ok=false;") ||
                    response == L"ok=true;exitCode=0;message=service running",
                "an answer without an operation is a refusal or the status line");
    } else if (calls[0] == L"QueryXrayStatus") {
        Require(calls.size() == 1, "xray_status calls one operation");
        Require(response == L"ok=true;exitCode=" + velk::ToDecimal(results.status.code) +
                                L";running=" + Flag(results.status.running) +
                                L";message=xray status",
                "xray_status reports the core's code and state");
    } else if (calls[0] == L"StopXray") {
        Require(calls.size() == 1, "xray_stop calls one operation");
        Require(response == ResultLine(results.stop, L"xray stopped"), "xray_stop's result");
    } else if (StartsWith(calls[0], L"StartXray|")) {
        const std::wstring path = calls[0].substr(10);
        Require(calls.size() == 1, "xray_start calls one operation");
        Require(!path.empty() && !Contains(path, L"\n"), "the path is one non-empty line");
        Require(Contains(request, path), "the path comes from the request");
        Require(response == ResultLine(velk::AnswerOf(results.start), L"xray start finished"),
                "xray_start's result");
    } else if (StartsWith(calls[0], L"ReadCoreLogTail|")) {
        const std::wstring runtime =
            L"ReadCoreLogTail|runtime|" + std::to_wstring(velk::kErrorLogTailBytes);
        const std::wstring error =
            L"ReadCoreLogTail|error|" + std::to_wstring(velk::kErrorLogTailBytes);
        Require(calls[0] == runtime, "the runtime log is read first");
        Require(calls.size() == 1 || (calls.size() == 2 && calls[1] == error),
                "then the error log, and nothing else");
        const bool runtimeHasText = results.tails.count(velk::CoreLog::kRuntime) == 1;
        Require((calls.size() == 1) == runtimeHasText, "the error log only when needed");
        const std::wstring tail = results.tails.empty() ? L"" : kTail;
        Require(response == L"ok=true;exitCode=0;message=" + tail,
                "xray_last_error answers with the tail");
    } else {
        Require(calls.size() == 2 && calls[0] == L"GetModuleDirectory",
                "a route action asks for the module directory, then runs the helper");
        CheckHelperCall(calls[1], request, results);
        Require(response == ResultLine(results.helper, L"helper finished"), "the helper's result");
    }
    Require(hasRunning == (!calls.empty() && calls[0] == L"QueryXrayStatus"),
            "running only for xray_status");
    return 0;
}
