#pragma once
// A private temporary directory for one test, removed with everything in it.
#include <windows.h>

#include <filesystem>
#include <string>

namespace velk::testing {

class TempDirectory {
  public:
    TempDirectory() {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, base);
        static int counter = 0;
        path_ = std::wstring(base) + L"velk-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter) + L"\\";
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

}  // namespace velk::testing
