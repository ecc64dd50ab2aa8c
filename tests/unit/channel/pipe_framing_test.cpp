#include "service/channel/client/pipe_framing.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) {
        out += static_cast<char>(v);
    }
    return out;
}

struct RequestCase {
    const char* name;
    std::string bytes;
    std::wstring expected;
};

class DecodeRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(DecodeRequestTest, TakesCodeUnitsUpToFirstNul) {
    EXPECT_EQ(DecodeRequest(GetParam().bytes), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeRequestTest,
    ::testing::Values(
        RequestCase{"plain", EncodeRequest(L"status"), L"status"},
        RequestCase{"trailing NUL", EncodeRequest(std::wstring(L"status") + L'\0'), L"status"},
        RequestCase{"inner NUL cuts the rest",
                    EncodeRequest(std::wstring(L"status") + L'\0' + L"xray_stop"), L"status"},
        RequestCase{"odd last byte dropped", EncodeRequest(L"status") + "s", L"status"},
        RequestCase{"single byte is empty", "s", L""}, RequestCase{"empty message", "", L""},
        RequestCase{"NUL first", Bytes({0, 0, 's', 0}), L""},
        RequestCase{"high code units kept whole", Bytes({0x3D, 0xD8, 0x00, 0xDE, 0xAC, 0x20}),
                    std::wstring{wchar_t(0xD83D), wchar_t(0xDE00), wchar_t(0x20AC)}},
        RequestCase{"line breaks kept", EncodeRequest(L"status\r\n"), L"status\r\n"}));

TEST(DecodeRequestTest, LongestRequestIsWhole) {
    const std::wstring request(2047, L'a');
    EXPECT_EQ(DecodeRequest(EncodeRequest(request)), request);
}

TEST(EncodeResponseTest, StatusAnswerIs86BytesEndingInOneNul) {
    const std::string bytes = EncodeResponse(L"ok=true;exitCode=0;message=service running");
    ASSERT_EQ(bytes.size(), 86u);
    EXPECT_EQ(bytes.substr(0, 4), Bytes({'o', 0, 'k', 0}));
    EXPECT_EQ(bytes.substr(84), Bytes({0, 0}));
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 2) {
        EXPECT_FALSE(bytes[i] == 0 && bytes[i + 1] == 0) << "NUL code unit at byte " << i;
    }
}

TEST(EncodeResponseTest, CodeUnitsAreLittleEndian) {
    EXPECT_EQ(EncodeResponse(std::wstring{wchar_t(0x20AC), wchar_t(0xFFFD)}),
              Bytes({0xAC, 0x20, 0xFD, 0xFF, 0, 0}));
}

struct ResponseCase {
    const char* name;
    std::string bytes;
    bool found;
    std::wstring line;
};

class DecodeResponseTest : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(DecodeResponseTest, FindsTheTerminator) {
    const DecodedResponse decoded = DecodeResponse(GetParam().bytes);
    EXPECT_EQ(decoded.found, GetParam().found) << GetParam().name;
    EXPECT_EQ(decoded.line, GetParam().line) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeResponseTest,
    ::testing::Values(
        ResponseCase{"whole answer", EncodeResponse(L"ok=true;exitCode=0;message=x"), true,
                     L"ok=true;exitCode=0;message=x"},
        ResponseCase{"not yet terminated", EncodeRequest(L"ok=tr"), false, L"ok=tr"},
        ResponseCase{"half a code unit pending", EncodeRequest(L"ok") + "=", false, L"ok"},
        ResponseCase{"empty line", Bytes({0, 0}), true, L""},
        ResponseCase{"line breaks inside the message", EncodeResponse(L"message=a\r\nb;c=d"), true,
                     L"message=a\r\nb;c=d"}));

}  // namespace
}  // namespace velk
