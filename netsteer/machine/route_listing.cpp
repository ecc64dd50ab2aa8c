#include "netsteer/machine/route_listing.h"

#include <cstddef>

#include "netsteer/machine/system_commands.h"
#include "netsteer/machine/text_utils.h"

namespace netsteer {
namespace {

// What the English rules look for in "route print -4".
struct EnglishMarkers {
    const wchar_t* activeRoutes;
    const wchar_t* persistentRoutes;
    const wchar_t* ruler;
    const wchar_t* heading;
};
constexpr EnglishMarkers kEnglish{L"Active Routes:", L"Persistent Routes:", L"===",
                                  L"Network Destination"};

// In every language the listing is: ruler, interface list, ruler, table
// title, ruler, active routes, ruler, persistent routes.
constexpr int kRulersBeforeActiveRoutes = 3;

bool Contains(const std::wstring& text, const wchar_t* marker) {
    return text.find(marker) != std::wstring::npos;
}

// Calls `onLine` with each line trimmed, in order, until it returns false.
// Lines end at LF, as SplitLines cuts them; going through them one at a time
// keeps a long listing from being copied whole.
template <typename OnLine>
void ForEachTrimmedLine(const std::wstring& text, OnLine onLine) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        if (!onLine(Trim(text.substr(start, end - start)))) {
            return;
        }
        start = end + 1;
    }
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

std::vector<RouteEntry> ReadEnglishSection(const std::wstring& listing) {
    std::vector<RouteEntry> entries;
    bool inSection = false;
    ForEachTrimmedLine(listing, [&](const std::wstring& line) {
        if (Contains(line, kEnglish.activeRoutes)) {
            inSection = true;
            return true;
        }
        if (!inSection) {
            return true;
        }
        if (Contains(line, kEnglish.persistentRoutes)) {
            return false;
        }
        if (line.empty() || Contains(line, kEnglish.ruler) || Contains(line, kEnglish.heading)) {
            return true;
        }
        RouteEntry entry;
        if (ReadEnglishRouteLine(line, entry)) {
            entries.push_back(std::move(entry));
        }
        return true;
    });
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

std::vector<RouteEntry> ReadSectionByShape(const std::wstring& listing) {
    std::vector<RouteEntry> entries;
    int rulers = 0;
    ForEachTrimmedLine(listing, [&](const std::wstring& line) {
        if (IsRuler(line)) {
            return ++rulers <= kRulersBeforeActiveRoutes;
        }
        RouteEntry entry;
        if (rulers == kRulersBeforeActiveRoutes && ReadRouteRowByShape(line, entry)) {
            entries.push_back(std::move(entry));
        }
        return true;
    });
    return entries;
}

}  // namespace

std::vector<RouteEntry> ReadActiveRoutes(const std::wstring& listing) {
    // The marker holds no line end, so it is in a line exactly when it is in
    // the listing.
    return Contains(listing, kEnglish.activeRoutes) ? ReadEnglishSection(listing)
                                                    : ReadSectionByShape(listing);
}

std::vector<RouteEntry> ListActiveRoutes(HelperSystem& system) {
    return ReadActiveRoutes(PrintedText(system.RunCommand(RoutePrintCommand())));
}

}  // namespace netsteer
