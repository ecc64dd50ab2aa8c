#include "service/supervision/file_tail.h"

#include <gtest/gtest.h>

#include "supervision_test_support.h"

namespace velk {
namespace {

using velk::test_support::WriteFileBytes;
using velk::testing::LinkFixture;
using velk::testing::TempDirectory;

// Bytes whose position can be read back from the text: a repeating alphabet
// with a line break every 64 bytes.
std::string PatternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = (i % 64 == 63) ? '\n' : static_cast<char>('a' + i % 26);
    }
    return bytes;
}

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

std::wstring Repeat(const std::wstring& text, std::size_t times) {
    std::wstring result;
    for (std::size_t i = 0; i < times; ++i) {
        result += text;
    }
    return result;
}

// What was read, or kNotRead when the call failed.
const std::wstring kNotRead = L"<not read>";
std::wstring Tail(const std::wstring& path, std::int64_t maxBytes) {
    const Win32Result<std::wstring> tail = ReadFileTail(path, maxBytes);
    return tail ? tail.value() : kNotRead;
}

class FileTailTest : public ::testing::Test {
  protected:
    std::wstring File(const std::string& bytes) {
        const std::wstring path = temp_.Path() + L"xray_runtime_error.log";
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }

    TempDirectory temp_;
};

TEST_F(FileTailTest, ReadsAtMostTheLastMaxBytes) {
    struct Case {
        std::size_t size;
        std::int64_t maxBytes;
        std::size_t expectedStart;
    };
    const Case cases[] = {
        {10000, 8192, 1808}, {8193, 8192, 1}, {8192, 8192, 0},
        {5000, 8192, 0},     {1, 8192, 0},    {100, 7, 93},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.size << " bytes, max " << c.maxBytes);
        const std::string bytes = PatternBytes(c.size);
        EXPECT_EQ(Tail(File(bytes), c.maxBytes), Widen(bytes.substr(c.expectedStart)));
    }
}

TEST_F(FileTailTest, NothingToShowIsEmptyTextAndAFileThatCannotBeReadIsTheFailedCall) {
    EXPECT_EQ(Tail(File(""), 8192), L"");
    EXPECT_EQ(Tail(File("abc"), 0), L"");
    const Win32Result<std::wstring> missing = ReadFileTail(temp_.Path() + L"missing.log", 8192);
    ASSERT_FALSE(missing);
    EXPECT_EQ(FailureText(missing.error()), L"CreateFileW failed. Error=2");
    EXPECT_EQ(Tail(temp_.Path(), 8192), kNotRead);  // a directory
}

// Any pipe client may ask for the tail: a link planted at the log's path must
// not hand it some other file the service can read.
TEST_F(FileTailTest, LogPathLeadingToAnotherFileIsNotRead) {
    const std::wstring secret = File("secret");
    const std::wstring hardLink = temp_.Path() + L"xray_error.log";
    ASSERT_TRUE(CreateHardLinkW(hardLink.c_str(), secret.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(LinkFixture(L"tail-target.log"), "target"));

    struct Case {
        const wchar_t* what;
        std::wstring path;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"hard link", hardLink, kNotRead},
        {L"the other name of a hard-linked file", secret, kNotRead},
        {L"symbolic link", LinkFixture(L"tail-link.log"), kNotRead},
        {L"the link's target at its own path", LinkFixture(L"tail-target.log"), L"target"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Tail(c.path, 8192), c.expected);
    }
}

TEST_F(FileTailTest, DecodesUtf8AndMarksBrokenSequences) {
    // U+20AC is E2 82 AC.
    std::string euros;
    for (int i = 0; i < 4000; ++i) {
        euros += "\xE2\x82\xAC";
    }
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring expected;
    };
    const Case cases[] = {
        {"multi-byte text, carriage returns kept",
         "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0\r\nok",
         L"\x041E\x0448\x0438\x0431\x043A\x0430\r\nok"},
        // 12000 - 8192 = 3808 = 3 * 1269 + 1: the tail starts on the second
        // byte of a character; each stray continuation byte is one U+FFFD.
        {"tail starting inside a character", euros, L"\xFFFD\xFFFD" + Repeat(L"\x20AC", 2730)},
        {"legacy single-byte code page", "Caf\xE9 na\xEFve\r\n", L"Caf\xFFFD na\xFFFDve\r\n"},
        {"character cut off at the end", "abc\xE2\x82", L"abc\xFFFD"},
        // The answer to the client ends at the first NUL: none may remain.
        {"NUL bytes the core wrote", std::string("panic\0: at\0\0end", 15),
         L"panic\xFFFD: at\xFFFD\xFFFD"
         L"end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Tail(File(c.bytes), 8192), c.expected);
    }
}

TEST_F(FileTailTest, ReadsWhileTheCoreKeepsTheLogOpenForAppending) {
    const std::wstring path = temp_.Path() + L"xray_runtime_error.log";
    // Opened the way the core's output handle is.
    UniqueHandle writer(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    auto append = [&writer](const std::string& text) {
        DWORD written = 0;
        return WriteFile(writer.Get(), text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) &&
               written == text.size();
    };

    ASSERT_TRUE(append("first line\n"));
    EXPECT_EQ(Tail(path, 8192), L"first line\n");
    ASSERT_TRUE(append("second line\n"));
    EXPECT_EQ(Tail(path, 8192), L"first line\nsecond line\n");
    EXPECT_EQ(Tail(path, 12), L"second line\n");
}

}  // namespace
}  // namespace velk
