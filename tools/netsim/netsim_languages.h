#pragma once
// The display languages the simulated tools speak: what route, netsh and the
// route tool's messages look like in each, and the console code page their
// bytes are written in.
#include <string>

#include "tools/netsim/netsim_machine.h"

namespace netsim {

// The route tool's answers that differ by language, in the order of
// Language::routeMessages.
enum class RouteMessage {
    AddExists,
    AddParameter,
    AddMask,
    AddInterface,
    DeleteNotFound,
    DeleteParameter,
    ChangeNotFound,
    Elevation,
    Count,
};

struct Language {
    const wchar_t* code;  // "en", "de", ...
    unsigned codePage;    // the console's code page; 0 keeps the process's own
    const wchar_t* interfaceList;
    const wchar_t* tableTitle;
    const wchar_t* activeRoutes;
    const wchar_t* activeHeading;
    const wchar_t* persistentRoutes;
    const wchar_t* persistentHeading;
    const wchar_t* none;
    const wchar_t* onLink;            // the gateway of a route without a next hop
    const wchar_t* defaultMetric;     // a persistent route's automatic metric
    const wchar_t* interfaceHeading;  // netsh's column heading
    const wchar_t* routeDone;         // what route add / delete print on success
    const wchar_t* routeMessages[static_cast<int>(RouteMessage::Count)];
    // What netsh interface ipv6 add|delete route prints: done, the route is
    // already there, there is no such route or interface.
    const wchar_t* netshOk;
    const wchar_t* netshExists;
    const wchar_t* netshNotFound;
};

// The language with this code, or null.
const Language* FindLanguage(const std::wstring& code);

// The machine's language; English when its code is unknown.
const Language& LanguageOf(const Machine& machine);

inline const wchar_t* MessageIn(const Language& language, RouteMessage message) {
    return language.routeMessages[static_cast<int>(message)];
}

// "en, de, ..." for help texts and refusals.
std::wstring LanguageCodes();

}  // namespace netsim
