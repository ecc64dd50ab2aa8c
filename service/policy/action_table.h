#pragma once
// Every request the service answers, in one table: its word, who may send
// it, what carries it out and what its outcome changes in the sessions. The
// dispatcher, the refusal events and the route helper's command line all
// read it, so a word, its guard and its effect cannot drift apart.
#include <cstddef>
#include <optional>
#include <string>

namespace velk {

// The actions that need more than an authenticated account.
enum class GuardedAction { kXrayStart, kXrayStop, kXrayLastError, kRouteStart, kRouteStop };

// The guard of a row open to everyone. Every row names its guard or this
// (a row with a field left out does not build: -Wextra, -Werror), so an
// action is opened to everyone only by writing so.
constexpr std::nullopt_t kOpenToAll = std::nullopt;

// What the dispatcher runs for an admitted request.
enum class ActionHandler {
    kServiceStatus,  // answers that the service runs
    kCoreStatus,     // whether the core runs
    kCoreStart,      // starts the core with the configuration path that follows
    kCoreStop,       // stops the core
    kCoreLastError,  // the tail of the core's output
    kRouteHelper,    // runs netsteer with the row's verb and the server host that follows
};

// What the outcome of an admitted request changes in the sessions.
enum class SessionEffect {
    kNone,
    // A start that ran a core makes the core session the caller's; the
    // supervision keeps that (CommandOperations::CoreSession).
    kCoreTakenByStart,
    // The core ends; the session stays its owner's, who may still read its
    // output.
    kCoreEnded,
    // Routing that started belongs to the caller.
    kRouteTakenOnSuccess,
    // Routing that was restored, or that netsteer found nothing to restore
    // of, belongs to nobody.
    kRouteFreedOnRestore,
};

struct ActionRow {
    const wchar_t* name;                 // the request word, also the name in refusal events
    const wchar_t* alias;                // another word for the same request, or nullptr
    std::optional<GuardedAction> guard;  // kOpenToAll: anyone may send it
    ActionHandler handler;
    const wchar_t* helperVerb;  // netsteer's first argument for kRouteHelper, else nullptr
    SessionEffect effect;
};

// The table itself, `count` rows.
const ActionRow* ActionRows(std::size_t& count);

// The row whose name or alias is `word` exactly (case matters), or nullptr.
const ActionRow* FindAction(const std::wstring& word);

// The row that guards with `action`; nullptr only if the table lacks one,
// which the table's tests rule out.
const ActionRow* RowOf(GuardedAction action);

// The name a guarded action is reported by: its row's name, "" without one.
const wchar_t* ActionName(GuardedAction action);

}  // namespace velk
