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
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "common/system_folders.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "common/log_sink.h"
#include "service/supervision/service_events.h"
#include "tests/support/running_under_wine.h"
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

// The fake core's environment as its marker file lists it, by name.
inline std::map<std::string, std::string> MarkerEnvironment(const std::string& marker) {
    std::map<std::string, std::string> variables;
    for (std::size_t at = marker.find("env="); at != std::string::npos;
         at = marker.find("env=", at + 1)) {
        if (at != 0 && marker[at - 1] != '\n') {
            continue;
        }
        const std::size_t end = marker.find_first_of("\r\n", at);
        const std::string entry = marker.substr(at + 4, end - at - 4);
        const std::size_t equals = entry.find('=', 1);
        variables[entry.substr(0, equals)] =
            equals == std::string::npos ? std::string() : entry.substr(equals + 1);
    }
    return variables;
}

// A variable of this test process for the life of the object: one the
// service's children must not see, or the asset folder it passes on.
class ScopedVariable {
  public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
        SetEnvironmentVariableW(name, value);
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const wchar_t* name_;
};

// What a child of the service must see: the block's variables with the
// system's folders, the asset folder this test set, and nothing this test
// process has beyond that.
inline void ExpectServiceChildEnvironment(const std::string& marker, const std::string& asset) {
    // Wine puts its own loader's WINE... variables into every process it
    // starts, whatever block it was given.
    std::map<std::string, std::string> seen = MarkerEnvironment(marker);
    std::string names;
    for (auto variable = seen.begin(); variable != seen.end();) {
        names += variable->first + " ";
        const bool wines =
            test_support::RunningUnderWine() && variable->first.rfind("WINE", 0) == 0;
        variable = wines ? seen.erase(variable) : std::next(variable);
    }
    const std::string system = WideToUtf8(SystemDirectory().value());
    const std::string windows = WideToUtf8(WindowsDirectory().value());
    const std::map<std::string, std::string> expected = {
        {"ComSpec", system + "\\cmd.exe"},
        {"PATH",
         system + ";" + windows + ";" + system + "\\Wbem;" + system + "\\WindowsPowerShell\\v1.0"},
        {"SystemDrive", windows.substr(0, 2)},
        {"SystemRoot", windows},
        {"windir", windows},
        {"XRAY_LOCATION_ASSET", asset},
    };
    for (const auto& variable : expected) {
        const auto found = seen.find(variable.first);
        ASSERT_NE(found, seen.end()) << variable.first << " missing; seen: " << names;
        EXPECT_EQ(found->second, variable.second) << variable.first;
    }
    for (const char* name : {"ProgramData", "TEMP", "TMP"}) {
        EXPECT_EQ(seen.count(name), 1u) << name << " missing; seen: " << names;
    }
    EXPECT_EQ(seen.size(), expected.size() + 3) << "seen: " << names;
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
