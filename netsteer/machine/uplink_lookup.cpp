#include <cstdint>

#include "netsteer/machine/uplink_lookup.h"
#include "netsteer/machine/system_commands.h"
#include "netsteer/machine/text_utils.h"

namespace netsteer {

std::optional<int> GetUplinkInterfaceIndex(HelperSystem& system,
                                           const std::wstring& interfaceAddress) {
    const std::wstring output =
        Trim(PrintedText(system.RunCommand(UplinkIndexQueryCommand(interfaceAddress))));
    if (output.empty()) {
        return std::nullopt;
    }
    std::int32_t value = 0;
    // Interface indexes are positive; anything else would reach a route
    // command as "if 0" and could never be restored by `stop`.
    if (!ParseLeadingInt(output, value) || value <= 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace netsteer
