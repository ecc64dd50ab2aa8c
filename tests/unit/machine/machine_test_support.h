#pragma once
// Shared pieces of the probe tests: recorded tool output from tests/data, and
// a HelperSystem that answers from recorded output and records every call.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "netsteer/netsteer_constants.h"
#include "netsteer/machine/output_chunk.h"
#include "netsteer/machine/helper_system.h"

namespace machine_test {

// The English headings that open the active routes of a listing.
inline const wchar_t kHead[] = L"IPv4 Route Table\r\nActive Routes:\r\n";

// The bytes of a file under tests/data, as the tool printed them.
inline std::string ReadDataBytes(const std::string& relativePath) {
    std::ifstream file(std::string(VELK_TEST_DATA_DIR) + "/" + relativePath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Recorded output decoded the way the command runner decodes what it reads
// from the pipe: chunk by chunk.
inline std::wstring ReadDataListing(const std::string& relativePath) {
    const std::string bytes = ReadDataBytes(relativePath);
    std::wstring text;
    for (std::size_t at = 0; at < bytes.size(); at += netsteer::kCommandReadChunkBytes) {
        const std::size_t size = std::min(netsteer::kCommandReadChunkBytes, bytes.size() - at);
        text += netsteer::DecodeOutputChunk(bytes.data() + at, size, nullptr);
    }
    return text;
}

// One call on the seam, in the order it happened.
struct SeamCall {
    enum Kind { Run, Sleep, Log } kind;
    std::wstring text;           // the command line or the log message
    std::uint32_t milliseconds;  // for Sleep

    bool operator==(const SeamCall& other) const {
        return kind == other.kind && text == other.text && milliseconds == other.milliseconds;
    }
};

inline SeamCall RunCall(const std::wstring& command) {
    return SeamCall{SeamCall::Run, command, 0};
}
inline SeamCall SleepCall(std::uint32_t milliseconds) {
    return SeamCall{SeamCall::Sleep, std::wstring(), milliseconds};
}
inline SeamCall LogCall(const std::wstring& message) {
    return SeamCall{SeamCall::Log, message, 0};
}

inline std::ostream& operator<<(std::ostream& out, const SeamCall& call) {
    static const char* const kNames[] = {"Run", "Sleep", "Log"};
    std::string narrow;
    for (wchar_t c : call.text) {
        narrow += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return out << kNames[call.kind] << "(" << narrow << ", " << call.milliseconds << ")";
}

// The command interpreter could not be started (not found).
inline const velk::Win32Error kNotStarted{L"CreateProcessW", 2};

// Answers each command line with its recorded output (empty when none is
// set), or as not run when it is in notRun, and records every call on the
// seam.
class RecordingHelperSystem : public netsteer::HelperSystem {
  public:
    std::map<std::wstring, std::wstring> outputs;
    std::set<std::wstring> notRun;
    std::vector<SeamCall> calls;

    velk::Win32Result<std::wstring> RunCommand(const std::wstring& command) override {
        calls.push_back(RunCall(command));
        if (notRun.count(command) != 0) {
            return kNotStarted;
        }
        const auto found = outputs.find(command);
        return found == outputs.end() ? std::wstring() : found->second;
    }
    void Sleep(std::uint32_t milliseconds) override { calls.push_back(SleepCall(milliseconds)); }
    void Log(const std::wstring& message) override { calls.push_back(LogCall(message)); }
};

}  // namespace machine_test
