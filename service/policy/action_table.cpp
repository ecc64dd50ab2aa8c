#include "service/policy/action_table.h"

namespace velk {
namespace {

using A = GuardedAction;
using H = ActionHandler;
using E = SessionEffect;
// Who may do what (the guard; MayCarryOut says when a guarded action is
// admitted) and what it changes. Open rows only read.
// clang-format off
const ActionRow kRows[] = {
    // name              alias     guard              handler            verb      effect
    {L"status",          nullptr,  kOpenToAll,        H::kServiceStatus, nullptr,  E::kNone},
    {L"xray_status",     nullptr,  kOpenToAll,        H::kCoreStatus,    nullptr,  E::kNone},
    {L"xray_start",      nullptr,  A::kXrayStart,     H::kCoreStart,     nullptr,  E::kCoreTakenByStart},
    {L"xray_stop",       nullptr,  A::kXrayStop,      H::kCoreStop,      nullptr,  E::kCoreEnded},
    {L"xray_last_error", nullptr,  A::kXrayLastError, H::kCoreLastError, nullptr,  E::kNone},
    {L"route_start",     L"start", A::kRouteStart,    H::kRouteHelper,   L"start", E::kRouteTakenOnSuccess},
    {L"route_stop",      L"stop",  A::kRouteStop,     H::kRouteHelper,   L"stop",  E::kRouteFreedOnRestore},
};
// clang-format on

}  // namespace

const ActionRow* ActionRows(std::size_t& count) {
    count = sizeof(kRows) / sizeof(kRows[0]);
    return kRows;
}

const ActionRow* FindAction(const std::wstring& word) {
    for (const ActionRow& row : kRows) {
        if (word == row.name || (row.alias != nullptr && word == row.alias)) {
            return &row;
        }
    }
    return nullptr;
}

const ActionRow* RowOf(GuardedAction action) {
    for (const ActionRow& row : kRows) {
        if (row.guard == action) {
            return &row;
        }
    }
    return nullptr;
}

const wchar_t* ActionName(GuardedAction action) {
    const ActionRow* row = RowOf(action);
    return row != nullptr ? row->name : L"";
}

}  // namespace velk
