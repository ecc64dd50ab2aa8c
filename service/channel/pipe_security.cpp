#include "service/channel/pipe_security.h"

namespace velk {
namespace {

std::wstring Hex(std::uint32_t value) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xFu]);
        value >>= 4;
    } while (value != 0);
    return L"0x" + digits;
}

std::wstring Ace(const wchar_t* type, std::uint32_t rights, const wchar_t* account) {
    return std::wstring(L"(") + type + L";;" + Hex(rights) + L";;;" + account + L")";
}

}  // namespace

std::wstring PipeSecurityDescriptorSddl() {
    return L"D:P" + Ace(L"D", kPipeFullControl, L"AN") + Ace(L"A", kPipeFullControl, L"SY") +
           Ace(L"A", kPipeFullControl, L"BA") + Ace(L"A", kPipeUserRights, L"AU");
}

}  // namespace velk
