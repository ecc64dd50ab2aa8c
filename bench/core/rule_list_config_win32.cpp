#include "bench/core/rule_list_config.h"

#include <windows.h>

#include "common/unique_handle.h"

namespace velk::bench {
namespace {

constexpr std::size_t kFlushBytes = 64 * 1024;
constexpr int kDomainsPerRule = 64;

constexpr char kHead[] =
    R"({"log":{"loglevel":"warning"},)"
    R"("inbounds":[{"listen":"127.0.0.1","port":1080,"protocol":"socks","settings":{"udp":false}}],)"
    R"("outbounds":[{"protocol":"freedom","tag":"direct"},{"protocol":"blackhole","tag":"block"}],)"
    R"("routing":{"domainStrategy":"AsIs","rules":[)";
constexpr char kTail[] = "]}}\n";

// Rule `index`: every other one sends its sites to the block outbound.
std::string Rule(std::uint64_t index) {
    const std::string number = std::to_string(index);
    std::string rule = R"({"type":"field","outboundTag":")";
    rule += index % 2 == 0 ? "block" : "direct";
    rule += R"(","domain":[)";
    for (int domain = 0; domain < kDomainsPerRule; ++domain) {
        rule += domain == 0 ? "\"" : ",\"";
        rule += domain % 4 == 0 ? "full:www." : "domain:";
        rule += "site" + std::to_string(domain) + "-list" + number + ".example.com\"";
    }
    rule += "]}";
    return rule;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

}  // namespace

Win32Result<std::uint64_t> WriteRuleListConfig(const std::wstring& path, std::uint64_t limitBytes) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return LastError(L"CreateFileW");
    }
    const std::uint64_t tailBytes = sizeof kTail - 1;
    std::string pending = kHead;
    std::uint64_t size = pending.size();
    for (std::uint64_t index = 0;; ++index) {
        const std::string rule = (index == 0 ? "" : ",") + Rule(index);
        if (size + rule.size() + tailBytes >= limitBytes) {
            break;
        }
        pending += rule;
        size += rule.size();
        if (pending.size() >= kFlushBytes) {
            if (!WriteAll(file.Get(), pending)) {
                return LastError(L"WriteFile");
            }
            pending.clear();
        }
    }
    pending += kTail;
    size += tailBytes;
    if (!WriteAll(file.Get(), pending)) {
        return LastError(L"WriteFile");
    }
    return size;
}

}  // namespace velk::bench
