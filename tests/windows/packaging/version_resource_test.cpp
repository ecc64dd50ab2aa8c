#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/wide_text.h"
#include "tests/support/win_files.h"
#include "velk_version.h"

namespace {

struct ShippedProgram {
    const char* path;
    const wchar_t* fileName;
    const wchar_t* description;
};

// The value of one StringFileInfo entry in the block for U.S. English,
// Unicode; empty when there is none.
std::wstring StringValue(const std::vector<BYTE>& block, const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) {
        return L"";
    }
    return std::wstring(static_cast<const wchar_t*>(value));
}

// The project version "major.minor.patch" as the two words of a fixed
// version: (major << 16 | minor, patch << 16).
std::pair<DWORD, DWORD> FixedVersionWords(const std::wstring& version) {
    std::vector<DWORD> parts;
    std::size_t from = 0;
    while (from <= version.size()) {
        const std::size_t dot = version.find(L'.', from);
        const std::wstring part =
            version.substr(from, dot == std::wstring::npos ? std::wstring::npos : dot - from);
        parts.push_back(static_cast<DWORD>(std::stoul(part)));
        if (dot == std::wstring::npos) {
            break;
        }
        from = dot + 1;
    }
    EXPECT_EQ(parts.size(), 3u) << "the project version is not major.minor.patch";
    parts.resize(3);
    return {(parts[0] << 16) | parts[1], parts[2] << 16};
}

TEST(VersionResourceTest, EveryShippedProgramNamesTheProductAndItsVersion) {
    const ShippedProgram programs[] = {
        {VELK_SERVICE_EXE, L"VelkVPNService.exe",
         L"VelkVPN service: starts the VPN core and changes the routes"},
        {VELK_NETSTEER_EXE, L"netsteer.exe", L"VelkVPN route helper"},
        {VELK_VELKCTL_EXE, L"velkctl.exe", L"VelkVPN service client"},
        {VELK_VELKSETUP_EXE, L"velksetup.exe", L"VelkVPN installer steps"},
    };
    const std::pair<DWORD, DWORD> words = FixedVersionWords(velk::kProductVersion);
    for (const ShippedProgram& program : programs) {
        SCOPED_TRACE(velk::WideToUtf8(program.fileName));
        const std::wstring path = velk::test_support::WindowsPath(program.path);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << "no version resource: " << GetLastError();
        std::vector<BYTE> block(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data())) << GetLastError();

        void* fixedValue = nullptr;
        UINT fixedLength = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &fixedValue, &fixedLength));
        ASSERT_GE(fixedLength, sizeof(VS_FIXEDFILEINFO));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(fixedValue);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, words.first);
        EXPECT_EQ(fixed->dwFileVersionLS, words.second);
        EXPECT_EQ(fixed->dwProductVersionMS, words.first);
        EXPECT_EQ(fixed->dwProductVersionLS, words.second);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        EXPECT_EQ(StringValue(block, L"ProductName"), velk::kProductName);
        EXPECT_EQ(StringValue(block, L"CompanyName"), velk::kCompanyName);
        EXPECT_EQ(StringValue(block, L"FileDescription"), program.description);
        EXPECT_EQ(StringValue(block, L"FileVersion"), velk::kProductVersion);
        EXPECT_EQ(StringValue(block, L"ProductVersion"), velk::kProductVersion);
        EXPECT_EQ(StringValue(block, L"OriginalFilename"), program.fileName);
    }
}

}  // namespace
