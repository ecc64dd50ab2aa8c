#include "netsteer/probes/route_listing.h"

#include <cstddef>

#include "netsteer/probes/text_utils.h"

namespace netsteer {
namespace {

// The English markers of "route print -4".
constexpr wchar_t kActiveRoutesMarker[] = L"Active Routes:";
constexpr wchar_t kPersistentRoutesMarker[] = L"Persistent Routes:";
constexpr wchar_t kRulerMarker[] = L"===";
constexpr wchar_t kHeadingMarker[] = L"Network Destination";

// In every language the listing is: ruler, interface list, ruler, table
// title, ruler, active routes, ruler, persistent routes.
constexpr int kRulersBeforeActiveRoutes = 3;

bool Contains(const std::wstring& text, const wchar_t* marker) {
    return text.find(marker) != std::wstring::npos;
}

// One English route line: four text columns and an integer metric; text
// after the metric is ignored.
bool ReadEnglishRouteLine(const std::wstring& line, RouteEntry& entry) {
    FieldCursor cursor;
    ReadTextField(line, cursor, entry.destination);
    ReadTextField(line, cursor, entry.netmask);
    ReadTextField(line, cursor, entry.gateway);
    ReadTextField(line, cursor, entry.interfaceAddress);
    ReadIntField(line, cursor, entry.metric);
    return !cursor.failed;
}

std::vector<RouteEntry> ReadEnglishSection(const std::vector<std::wstring>& lines) {
    std::vector<RouteEntry> entries;
    bool inSection = false;
    for (const std::wstring& rawLine : lines) {
        const std::wstring line = Trim(rawLine);
        if (Contains(line, kActiveRoutesMarker)) {
            inSection = true;
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (Contains(line, kPersistentRoutesMarker)) {
            break;
        }
        if (line.empty() || Contains(line, kRulerMarker) || Contains(line, kHeadingMarker)) {
            continue;
        }
        RouteEntry entry;
        if (ReadEnglishRouteLine(line, entry)) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

bool IsRuler(const std::wstring& trimmed) {
    return trimmed.size() >= 3 && trimmed.find_first_not_of(L'=') == std::wstring::npos;
}

std::vector<std::wstring> Fields(const std::wstring& line) {
    std::vector<std::wstring> fields;
    FieldCursor cursor;
    std::wstring field;
    while (ReadTextField(line, cursor, field)) {
        fields.push_back(field);
    }
    return fields;
}

bool IsMetric(const std::wstring& text, std::int32_t& value) {
    if (text.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return false;
    }
    FieldCursor cursor;
    return ReadIntField(text, cursor, value);
}

// A row by its shape alone: no word of it needs to be known. The persistent
// table has four columns and never a worded gateway, so it never fits.
bool ReadRouteRowByShape(const std::wstring& line, RouteEntry& entry) {
    const std::vector<std::wstring> f = Fields(line);
    constexpr std::size_t kFewestFields = 5;
    if (f.size() < kFewestFields) {
        return false;
    }
    const std::size_t last = f.size() - 1;
    if (!IsPlainDottedIPv4(f[0]) || !IsPlainDottedIPv4(f[1]) || !IsPlainDottedIPv4(f[last - 1]) ||
        !IsMetric(f[last], entry.metric)) {
        return false;
    }
    const std::size_t gatewayFields = f.size() - 4;
    if (gatewayFields == 1 && IsPlainDottedIPv4(f[2])) {
        entry.gateway = f[2];
    } else {
        // Words in the gateway column ("On-link", "Auf Verbindung", ...):
        // no next hop. A mix of words and addresses is no row at all.
        for (std::size_t i = 2; i < last - 1; ++i) {
            if (IsPlainDottedIPv4(f[i])) {
                return false;
            }
        }
        entry.gateway = kOnLinkGateway;
    }
    entry.destination = f[0];
    entry.netmask = f[1];
    entry.interfaceAddress = f[last - 1];
    return true;
}

std::vector<RouteEntry> ReadSectionByShape(const std::vector<std::wstring>& lines) {
    std::vector<RouteEntry> entries;
    int rulers = 0;
    for (const std::wstring& rawLine : lines) {
        const std::wstring line = Trim(rawLine);
        if (IsRuler(line)) {
            if (++rulers > kRulersBeforeActiveRoutes) {
                break;
            }
            continue;
        }
        RouteEntry entry;
        if (rulers == kRulersBeforeActiveRoutes && ReadRouteRowByShape(line, entry)) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

}  // namespace

std::vector<RouteEntry> ReadActiveRoutes(const std::wstring& listing) {
    const std::vector<std::wstring> lines = SplitLines(listing);
    for (const std::wstring& line : lines) {
        if (Contains(line, kActiveRoutesMarker)) {
            return ReadEnglishSection(lines);
        }
    }
    return ReadSectionByShape(lines);
}

}  // namespace netsteer
