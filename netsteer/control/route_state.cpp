#include "netsteer/control/route_state.h"

#include <utility>

#include "common/wide_text.h"
#include "netsteer/control/state_file_io.h"
#include "netsteer/machine/text_utils.h"

namespace netsteer {
namespace {

constexpr wchar_t kIpv6LineHead[] = L"ipv6 ";
constexpr wchar_t kNrptLine[] = L"nrpt";

std::wstring SignedDecimal(std::int32_t value) {
    // Through 64 bits so that the most negative value has a positive twin.
    const std::int64_t wide = value;
    std::uint64_t magnitude = static_cast<std::uint64_t>(wide < 0 ? -wide : wide);
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    return wide < 0 ? L"-" + digits : digits;
}

// One fgetws call on a binary-mode stream: two bytes per unit, low byte
// first; stops after an LF, when the buffer is full but one, or at the end.
// A lone trailing byte is no unit. The caller sees the buffer as a C string,
// so a NUL unit ends the line's text.
class UnitReader {
  public:
    explicit UnitReader(const std::string& bytes) : bytes_(bytes) {}

    bool ReadLine(std::size_t bufferUnits, std::wstring& line) {
        line.clear();
        bool terminated = false;
        std::size_t taken = 0;
        while (taken + 1 < bufferUnits && offset_ + 1 < bytes_.size()) {
            const auto low = static_cast<unsigned char>(bytes_[offset_]);
            const auto high = static_cast<unsigned char>(bytes_[offset_ + 1]);
            offset_ += 2;
            ++taken;
            const wchar_t unit = velk::Utf16LeUnit(low, high);
            if (unit == L'\0') {
                terminated = true;
            }
            if (!terminated) {
                line += unit;
            }
            if (unit == L'\n') {
                break;
            }
        }
        return taken > 0;
    }

  private:
    const std::string& bytes_;
    std::size_t offset_ = 0;
};

// One line of the IPv6 and DNS part; a line that is neither is passed over,
// so the file stays readable by a netsteer that knows other lines.
void ReadExtraLine(const std::wstring& line, RouteState& state) {
    const std::wstring text = Trim(line);
    const std::wstring head(kIpv6LineHead);
    std::int32_t index = 0;
    if (text.compare(0, head.size(), head) == 0 &&
        ParseLeadingInt(Trim(text.substr(head.size())), index) && index > 0) {
        state.ipv6TunnelIndex = index;
    } else if (text == kNrptLine) {
        state.nrptRule = true;
    }
}

}  // namespace

std::string EncodeRouteState(const RouteState& state) {
    std::string bytes;
    std::wstring text = state.gateway + L"\n" + SignedDecimal(state.interfaceIndex) + L"\n" +
                        state.serverIp + L"\n";
    if (state.ipv6TunnelIndex != 0) {
        text += kIpv6LineHead + SignedDecimal(state.ipv6TunnelIndex) + L"\n";
    }
    if (state.nrptRule) {
        text += std::wstring(kNrptLine) + L"\n";
    }
    velk::AppendUtf16Le(bytes, text);
    return bytes;
}

bool DecodeRouteState(const std::string& bytes, RouteState& state) {
    UnitReader reader(bytes);
    std::wstring gatewayLine;
    std::wstring indexLine;
    std::wstring serverLine;
    if (!reader.ReadLine(kGatewayLineUnits, gatewayLine) ||
        !reader.ReadLine(kIndexLineUnits, indexLine) ||
        !reader.ReadLine(kServerLineUnits, serverLine)) {
        return false;
    }
    std::int32_t index = 0;
    // Interface indexes start at 1; anything else would reach a route command.
    if (!ParseLeadingInt(Trim(indexLine), index) || index <= 0) {
        return false;
    }
    RouteState parsed{Trim(gatewayLine), index, Trim(serverLine)};
    std::wstring extraLine;
    for (std::size_t line = 0; line < kExtraLines && reader.ReadLine(kExtraLineUnits, extraLine);
         ++line) {
        ReadExtraLine(extraLine, parsed);
    }
    // The file lies where any local user may create files, and both texts go
    // into command lines run with the service's rights.
    if (!IsPlainDottedIPv4(parsed.gateway) || !IsPlainDottedIPv4(parsed.serverIp)) {
        return false;
    }
    state = std::move(parsed);
    return true;
}

bool SaveState(const std::wstring& path, const RouteState& state) {
    const std::string bytes = EncodeRouteState(state);
    // A record that LoadState would refuse, or read as another record (a
    // line break inside a text shifts the lines), is no record for `stop`.
    RouteState readBack;
    if (!DecodeRouteState(bytes, readBack) || readBack.gateway != state.gateway ||
        readBack.interfaceIndex != state.interfaceIndex || readBack.serverIp != state.serverIp ||
        readBack.ipv6TunnelIndex != state.ipv6TunnelIndex || readBack.nrptRule != state.nrptRule) {
        return false;
    }
    return ReplaceFileAtomically(path, bytes);
}

bool LoadState(const std::wstring& path, RouteState& state) {
    std::string bytes;
    if (!ReadFileHead(path, kStateReadLimitBytes, bytes)) {
        return false;
    }
    return DecodeRouteState(bytes, state);
}

void DeleteState(const std::wstring& path) {
    RemoveFile(path);
}

}  // namespace netsteer
