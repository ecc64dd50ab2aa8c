#pragma once
// Shared pieces of the supervision tests: a private temporary directory, file
// checks, a recording log sink and the fake core's location.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "common/log_sink.h"
#include "service/supervision/service_events.h"
#include "tests/support/temp_directory.h"
#include "tests/support/win_files.h"

namespace velk::testing {

// The directory of the fake core (xray.exe) with a trailing backslash.
inline std::wstring FakecoreDirectory() {
    return test_support::WindowsPath(VELK_FAKECORE_DIR);
}

inline std::wstring FakecorePath() {
    return FakecoreDirectory() + L"xray.exe";
}

// A name in the folder where the build made Unix symbolic links (Wine's
// CreateSymbolicLinkW makes none):
//   data-link -> data-real,
//   log-directory\xray_runtime_error.log -> log-target.log,
//   tail-link.log -> tail-target.log
inline std::wstring LinkFixture(const std::wstring& name) {
    return test_support::WindowsPath(VELK_LINK_FIXTURE_DIR) + name;
}

inline bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Polls until `done` holds or about `limitMs` have passed; true when it holds.
inline bool WaitUntil(const std::function<bool()>& done, int limitMs = 10000) {
    for (int waited = 0; waited < limitMs; waited += 20) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// True when no process with this id is alive any more.
inline bool ProcessGone(DWORD processId) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    return !process || WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
}

// The process id a fake core wrote to a pid_file; 0 when there is none yet.
inline DWORD ReadPidFile(const std::wstring& path) {
    const std::string text = test_support::ReadFileBytes(path);
    if (text.empty()) {
        return 0;
    }
    return static_cast<DWORD>(std::stoul(text));
}

// A configuration the service accepts and the fake core acts on: `knobs` as
// its "stats" object's "fakecore" member, `log` (when given) as the core's
// "log" object.
inline std::string FakecoreJson(const nlohmann::json& knobs,
                                const nlohmann::json& log = nlohmann::json()) {
    nlohmann::json config{{"stats", {{"fakecore", knobs}}}};
    if (!log.is_null()) {
        config["log"] = log;
    }
    return config.dump();
}

inline std::string Utf8(const std::wstring& text) {
    return WideToUtf8(text);
}

// What the fake core's marker file says, e.g. MarkerValue(text, "digest").
inline std::string MarkerValue(const std::string& marker, const std::string& key) {
    const std::size_t at = marker.find(key + "=");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t start = at + key.size() + 1;
    return marker.substr(start, marker.find_first_of("\r\n", start) - start);
}

// FNV-1a, 64 bits, in hex, as the fake core reports the bytes it read.
inline std::string Fnv1a(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char byte : bytes) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
    }
    char text[17] = {};
    std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// Events may come from a thread-pool thread (a core that ended by itself):
// read them through Snapshot while a core may still end.
struct EventRecorder {
    using Entry = std::pair<ServiceEvent, std::vector<std::wstring>>;
    std::vector<Entry> events;
    std::mutex mutex;
    EventSink Sink() {
        return [this](ServiceEvent event, const std::vector<std::wstring>& inserts) {
            std::lock_guard<std::mutex> lock(mutex);
            events.emplace_back(event, inserts);
        };
    }
    std::vector<Entry> Snapshot() {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
};

struct LogRecorder {
    std::vector<std::wstring> messages;
    LogSink Sink() {
        return [this](const std::wstring& message) { messages.push_back(message); };
    }
};

}  // namespace velk::testing
