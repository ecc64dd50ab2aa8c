#include "netsteer/machine/dns_server_list.h"

#include <utility>

#include "netsteer/machine/text_utils.h"
#include "netsteer/netsteer_constants.h"

namespace netsteer {

bool ParseDnsServers(const std::wstring& text, std::vector<std::wstring>& servers) {
    std::vector<std::wstring> parsed;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(L',', start);
        const std::wstring item =
            text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        if (!IsPlainDottedIPv4(item) || parsed.size() == kMaxTunnelDnsServers) {
            return false;
        }
        parsed.push_back(item);
        if (comma == std::wstring::npos) {
            break;
        }
        start = comma + 1;
    }
    servers = std::move(parsed);
    return true;
}

}  // namespace netsteer
