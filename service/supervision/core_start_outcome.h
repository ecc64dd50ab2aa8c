#pragma once
// What one start of the core came to. Portable, and whole in this header: it
// is part of the operations' interface, which the channel uses without
// linking the supervision.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "common/refusal.h"
#include "common/win32_result.h"
#include "service/service_constants.h"
#include "service/supervision/op_result.h"

namespace velk {

enum class CoreStartKind {
    kStarted,         // a core runs now, started by this request
    kAlreadyRunning,  // the core that ran keeps running, with its configuration
    kRefused,         // the configuration was not accepted; nothing was started
    kEndedAtOnce,     // a core ran and ended within the settle time
    kFailed,          // a Windows call failed before a core could run
};

struct CoreStartOutcome {
    CoreStartKind kind = CoreStartKind::kFailed;
    Refusal refusal;             // kRefused: why
    std::uint32_t exitCode = 0;  // kEndedAtOnce: the core's exit code
    // kFailed: the call that failed. kEndedAtOnce: the call that could not
    // read the core's exit code, when it could not.
    std::optional<Win32Error> failure;
};

inline CoreStartOutcome CoreStarted() {
    CoreStartOutcome outcome;
    outcome.kind = CoreStartKind::kStarted;
    return outcome;
}

inline CoreStartOutcome CoreAlreadyRunning() {
    CoreStartOutcome outcome;
    outcome.kind = CoreStartKind::kAlreadyRunning;
    return outcome;
}

inline CoreStartOutcome CoreStartRefused(std::wstring reason) {
    CoreStartOutcome outcome;
    outcome.kind = CoreStartKind::kRefused;
    outcome.refusal.reason = std::move(reason);
    return outcome;
}

inline CoreStartOutcome CoreEndedAtOnce(const Win32Result<std::uint32_t>& exitCode) {
    CoreStartOutcome outcome;
    outcome.kind = CoreStartKind::kEndedAtOnce;
    if (exitCode) {
        outcome.exitCode = exitCode.value();
    } else {
        outcome.failure = exitCode.error();
    }
    return outcome;
}

inline CoreStartOutcome CoreStartFailed(const Win32Error& failure) {
    CoreStartOutcome outcome;
    outcome.kind = CoreStartKind::kFailed;
    outcome.failure = failure;
    return outcome;
}

// Whether a core process ran for this start (and so wrote what it wrote).
inline bool RanCore(const CoreStartOutcome& outcome) {
    return outcome.kind == CoreStartKind::kStarted || outcome.kind == CoreStartKind::kEndedAtOnce;
}

// The answer's flag and code: (true, 0) while a core runs, kConfigRefusedCode
// for a refused configuration, the core's exit code, or the failed call's
// code.
inline OpResult AnswerOf(const CoreStartOutcome& outcome) {
    switch (outcome.kind) {
        case CoreStartKind::kStarted:
        case CoreStartKind::kAlreadyRunning:
            return {true, 0};
        case CoreStartKind::kRefused:
            return {false, kConfigRefusedCode};
        case CoreStartKind::kEndedAtOnce:
            return {false, outcome.failure ? outcome.failure->code : outcome.exitCode};
        case CoreStartKind::kFailed:
            break;
    }
    return {false, outcome.failure ? outcome.failure->code : 0};
}

}  // namespace velk
