#include "service/supervision/core_session.h"

#include <utility>

namespace velk {

void CoreSessionLedger::Settle(const CoreStartOutcome& outcome, const std::wstring& owner,
                               CoreLogMarks marks) {
    if (RanCore(outcome)) {
        current_ = CoreSessionFacts{owner, std::move(marks)};
    }
}

const CoreSessionFacts* CoreSessionLedger::Current() const {
    return current_ ? &*current_ : nullptr;
}

std::int64_t CoreSessionLedger::Mark(CoreLog log) const {
    if (!current_) {
        return 0;
    }
    return log == CoreLog::kRuntime ? current_->marks.runtimeEnd : current_->marks.errorEnd;
}

}  // namespace velk
