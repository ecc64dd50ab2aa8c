#include "common/folder_walk.h"

#include <utility>

namespace velk {

std::wstring EntryProblem(const EntryFacts& facts) {
    if (!facts.opened) {
        return L"cannot be opened";
    }
    if (facts.link) {
        return L"a link or junction";
    }
    if (facts.elsewhere) {
        return L"leads elsewhere";
    }
    if (!facts.directory && facts.names > 1) {
        return L"a file with more than one name";
    }
    if (!facts.trustedOwner) {
        return L"owned by another account";
    }
    return {};
}

FolderVerdict CheckFolder(FolderTree& tree, const std::wstring& root, const FolderLimits& limits) {
    struct Pending {
        std::wstring path;
        std::size_t depth;
    };
    std::vector<Pending> pending{{root, 0}};
    std::size_t seen = 0;
    while (!pending.empty()) {
        const Pending next = std::move(pending.back());
        pending.pop_back();
        const EntryLook look = tree.Look(next.path, limits.entries - seen);
        std::wstring problem = EntryProblem(look.facts);
        if (problem.empty() && next.depth == 0 && !look.facts.directory) {
            problem = L"not a folder";
        }
        if (!problem.empty()) {
            return {problem, next.path};
        }
        if (!look.facts.directory) {
            continue;
        }
        if (!look.listed) {
            return {L"cannot be listed", next.path};
        }
        const bool endsInSeparator =
            !next.path.empty() && (next.path.back() == L'\\' || next.path.back() == L'/');
        const std::wstring prefix = endsInSeparator ? next.path : next.path + L"\\";
        for (const ListedEntry& entry : look.entries) {
            const std::wstring path = prefix + entry.name;
            if (++seen > limits.entries) {
                return {L"more entries than can be checked", root};
            }
            // Wine shows a Unix link as a reparse point only here, never
            // through its handle.
            if (entry.listedAsLink) {
                return {L"a link or junction", path};
            }
            if (next.depth + 1 > limits.depth) {
                return {L"deeper than can be checked", path};
            }
            pending.push_back({path, next.depth + 1});
        }
    }
    return {};
}

}  // namespace velk
