#pragma once
// A private temporary directory and the Unix link fixture of the common tests.
#include <windows.h>

#include <filesystem>
#include <string>

#include "tests/support/win_files.h"

namespace velk::testing {

class TempDirectory {
  public:
    TempDirectory() {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, base);
        static int counter = 0;
        path_ = std::wstring(base) + L"velk-common-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(++counter) + L"\\";
        std::error_code error;
        std::filesystem::create_directories(path_, error);
    }
    ~TempDirectory() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    // With its trailing backslash.
    const std::wstring& Path() const { return path_; }

  private:
    std::wstring path_;
};

// A name in the folder where the build made Unix symbolic links:
//   directory-link -> real, data-link -> real-directory,
//   check-link.log -> real/check-target.log,
//   append-link.log -> real/append-target.log
inline std::wstring LinkFixture(const std::wstring& name) {
    return test_support::WindowsPath(VELK_LINK_FIXTURE_DIR) + name;
}

}  // namespace velk::testing
