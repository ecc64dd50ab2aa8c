#pragma once
// Refused requests on their way to the event log, coalesced per account, so
// that a client refused in a loop cannot roll the Application log over and
// push out what came before. An account's first refusal is written at once;
// those within the window after it are counted and written as one event,
// with the latest refusal's action and process id and the count: when the
// account is refused again after the window, when any event comes after the
// window, or just before the service's stop event. Every other event passes
// unchanged.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "service/supervision/service_events.h"

namespace velk {

class RefusalCoalescer {
  public:
    // Milliseconds from a clock that never goes back.
    using Clock = std::function<std::uint64_t()>;

    // Writes to `sink`. At most `maxAccounts` accounts are followed one by
    // one; while that many have been refused within their windows, refusals
    // of any other account share one more entry, whose account insert is
    // kRefusalOtherAccounts and the last such account.
    RefusalCoalescer(EventSink sink, Clock clock, std::uint64_t windowMs, std::size_t maxAccounts);

    // kRequestRefused carries action, account and process id; written, it
    // carries the count of refusals it stands for as a fourth insert.
    void Report(ServiceEvent event, const std::vector<std::wstring>& inserts);

    // Accounts followed now, the shared entry included.
    std::size_t Followed() const { return entries_.size(); }

  private:
    struct Entry {
        bool others = false;  // the shared entry of accounts beyond the bound
        std::wstring account;
        std::uint64_t windowStartMs = 0;
        std::uint64_t counted = 0;  // refusals since the last event, not yet written
        std::vector<std::wstring> latest;
    };

    void Refused(const std::vector<std::wstring>& inserts, std::uint64_t nowMs);
    bool Expired(const Entry& entry, std::uint64_t nowMs) const;
    // Writes the counts of entries whose window has passed (of all entries
    // when `all`) and lets the passed ones go, except the one a refusal is
    // about to land in, `keep`, which writes its count together with that
    // refusal. Moves the entries: pointers into them are stale afterwards.
    void WriteDue(std::uint64_t nowMs, bool all, const Entry* keep);
    void Write(const Entry& entry, std::vector<std::wstring> inserts, std::uint64_t count);
    Entry* Find(bool others, const std::wstring& account);
    std::size_t LiveAccounts(std::uint64_t nowMs) const;

    EventSink sink_;
    Clock clock_;
    std::uint64_t windowMs_;
    std::size_t maxAccounts_;
    std::vector<Entry> entries_;  // a few dozen at most: searched in order
};

}  // namespace velk
