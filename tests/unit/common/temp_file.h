#pragma once
// A file name of its own under the system's temporary directory, removed
// again when the test is done (the name carries a clock reading and a
// counter so that parallel test processes do not meet), and a byte-exact reader for it.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace velk {
namespace test_files {

class TempFile {
  public:
    explicit TempFile(const std::string& stem) {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                (stem + "-" +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
                 std::to_string(counter++) + ".log");
        Remove();
    }
    ~TempFile() { Remove(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    std::wstring WidePath() const { return path_.wstring(); }
    bool Exists() const { return std::filesystem::exists(path_); }

    std::string ReadBytes() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

  private:
    void Remove() const {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

    std::filesystem::path path_;
};

}  // namespace test_files
}  // namespace velk
