#include "service/supervision/refusal_coalescer.h"

#include <utility>

#include "service/service_constants.h"

namespace velk {
namespace {

constexpr std::size_t kAccountInsert = 1;
constexpr std::size_t kRefusalInserts = 3;

}  // namespace

RefusalCoalescer::RefusalCoalescer(EventSink sink, Clock clock, std::uint64_t windowMs,
                                   std::size_t maxAccounts)
    : sink_(std::move(sink)),
      clock_(std::move(clock)),
      windowMs_(windowMs),
      maxAccounts_(maxAccounts) {}

void RefusalCoalescer::Report(ServiceEvent event, const std::vector<std::wstring>& inserts) {
    const std::uint64_t nowMs = clock_();
    if (event == ServiceEvent::kRequestRefused && inserts.size() == kRefusalInserts) {
        Refused(inserts, nowMs);
        return;
    }
    // The service's last word: nothing counted may be lost with it.
    WriteDue(nowMs, event == ServiceEvent::kServiceStopped, nullptr);
    if (sink_) {
        sink_(event, inserts);
    }
}

void RefusalCoalescer::Refused(const std::vector<std::wstring>& inserts, std::uint64_t nowMs) {
    const std::wstring& account = inserts[kAccountInsert];
    const bool others = Find(false, account) == nullptr && LiveAccounts(nowMs) >= maxAccounts_;
    // Entries whose window has passed go first, making room.
    WriteDue(nowMs, false, Find(others, account));
    Entry* entry = Find(others, account);
    if (entry == nullptr) {
        Entry added;
        added.others = others;
        added.account = account;
        added.windowStartMs = nowMs;
        entries_.push_back(std::move(added));
        Write(entries_.back(), inserts, 1);
        return;
    }
    entry->account = account;
    if (Expired(*entry, nowMs)) {
        const std::uint64_t count = entry->counted + 1;
        entry->windowStartMs = nowMs;
        entry->counted = 0;
        entry->latest.clear();
        Write(*entry, inserts, count);
        return;
    }
    ++entry->counted;
    entry->latest = inserts;
}

bool RefusalCoalescer::Expired(const Entry& entry, std::uint64_t nowMs) const {
    return nowMs >= entry.windowStartMs && nowMs - entry.windowStartMs >= windowMs_;
}

void RefusalCoalescer::WriteDue(std::uint64_t nowMs, bool all, const Entry* keep) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& entry = entries_[i];
        const bool passed = &entry != keep && Expired(entry, nowMs);
        if ((passed || all) && entry.counted != 0) {
            Write(entry, entry.latest, entry.counted);
            entry.counted = 0;
            entry.latest.clear();
        }
        if (!passed) {
            if (kept != i) {
                entries_[kept] = std::move(entry);
            }
            ++kept;
        }
    }
    entries_.resize(kept);
}

void RefusalCoalescer::Write(const Entry& entry, std::vector<std::wstring> inserts,
                             std::uint64_t count) {
    if (!sink_ || inserts.size() != kRefusalInserts) {
        return;
    }
    if (entry.others) {
        inserts[kAccountInsert] = kRefusalOtherAccounts + entry.account + L")";
    }
    inserts.push_back(std::to_wstring(count));
    sink_(ServiceEvent::kRequestRefused, inserts);
}

RefusalCoalescer::Entry* RefusalCoalescer::Find(bool others, const std::wstring& account) {
    for (Entry& entry : entries_) {
        if (entry.others == others && (others || entry.account == account)) {
            return &entry;
        }
    }
    return nullptr;
}

std::size_t RefusalCoalescer::LiveAccounts(std::uint64_t nowMs) const {
    std::size_t live = 0;
    for (const Entry& entry : entries_) {
        if (!entry.others && !Expired(entry, nowMs)) {
            ++live;
        }
    }
    return live;
}

}  // namespace velk
