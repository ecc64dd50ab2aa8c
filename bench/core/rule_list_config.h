#pragma once
// A large proxy core configuration for the configuration benchmark: a SOCKS
// inbound, two outbounds and a routing rule list, each rule with a long list
// of domains, as configurations that block or route whole site lists have.
#include <cstdint>
#include <string>

#include "common/win32_result.h"

namespace velk::bench {

// Writes the configuration to `path`, adding rules while the file stays
// strictly under `limitBytes`, and gives its size. Written piece by piece, so
// that this process never holds more than a small buffer of it.
Win32Result<std::uint64_t> WriteRuleListConfig(const std::wstring& path, std::uint64_t limitBytes);

}  // namespace velk::bench
