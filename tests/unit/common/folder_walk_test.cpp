#include "common/folder_walk.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace velk {
namespace {

// One entry of a tree kept in memory, under its full path.
struct Node {
    std::wstring path;
    EntryFacts facts;
    bool listedAsLink = false;  // what its directory's listing says of it
    bool listable = true;
};

EntryFacts Directory() {
    EntryFacts facts;
    facts.opened = true;
    facts.directory = true;
    // Wine gives a directory the Unix count of names: one per subdirectory and two.
    facts.names = 3;
    facts.trustedOwner = true;
    return facts;
}

EntryFacts File() {
    EntryFacts facts = Directory();
    facts.directory = false;
    facts.names = 1;
    return facts;
}

EntryFacts With(EntryFacts facts, const std::function<void(EntryFacts&)>& change) {
    change(facts);
    return facts;
}

// Answers from the nodes: a path with no node cannot be opened, and a
// directory lists the nodes right below it in the order given.
class TreeInMemory final : public FolderTree {
  public:
    explicit TreeInMemory(const std::vector<Node>& nodes) {
        for (const Node& node : nodes) {
            nodes_[node.path] = node;
            const std::size_t slash = node.path.rfind(L'\\');
            if (slash != std::wstring::npos) {
                listings_[node.path.substr(0, slash)].push_back(
                    {node.path.substr(slash + 1), node.listedAsLink});
            }
        }
    }

    EntryLook Look(const std::wstring& path, std::size_t maxEntries) override {
        looked.push_back(path);
        EntryLook look;
        const auto node = nodes_.find(path);
        if (node == nodes_.end()) {
            return look;
        }
        look.facts = node->second.facts;
        if (look.facts.directory && EntryProblem(look.facts).empty() && node->second.listable) {
            look.listed = true;
            for (const ListedEntry& entry : listings_[path]) {
                if (look.entries.size() > maxEntries) {
                    break;
                }
                look.entries.push_back(entry);
            }
        }
        return look;
    }

    std::vector<std::wstring> looked;

  private:
    std::map<std::wstring, Node> nodes_;
    std::map<std::wstring, std::vector<ListedEntry>> listings_;
};

// R holds a.log and sub, sub holds b.log; `change` alters one of them or adds.
std::vector<Node> Tree(const std::vector<Node>& changes = {}) {
    std::vector<Node> nodes{{L"R", Directory()},
                            {L"R\\a.log", File()},
                            {L"R\\sub", Directory()},
                            {L"R\\sub\\b.log", File()}};
    for (const Node& change : changes) {
        bool replaced = false;
        for (Node& node : nodes) {
            if (node.path == change.path) {
                node = change;
                replaced = true;
            }
        }
        if (!replaced) {
            nodes.push_back(change);
        }
    }
    return nodes;
}

constexpr FolderLimits kRoomy{8, 100};

TEST(FolderWalk, OnlyAPlainTreeOfTrustedOwnersWithinTheLimitsIsOurs) {
    struct Case {
        const char* what;
        std::vector<Node> nodes;
        FolderLimits limits;
        std::wstring problem;  // empty: ours
        std::wstring path;     // the entry that showed it
    };
    const Case cases[] = {
        {"a plain tree", Tree(), kRoomy, L"", L""},
        {"nothing there", {}, kRoomy, L"cannot be opened", L"R"},
        {"the folder a link",
         Tree({{L"R", With(Directory(), [](EntryFacts& f) { f.link = true; })}}), kRoomy,
         L"a link or junction", L"R"},
        {"the folder resolving elsewhere",
         Tree({{L"R", With(Directory(), [](EntryFacts& f) { f.elsewhere = true; })}}), kRoomy,
         L"leads elsewhere", L"R"},
        {"a file in the folder's place", Tree({{L"R", File()}}), kRoomy, L"not a folder", L"R"},
        {"the folder another account's",
         Tree({{L"R", With(Directory(), [](EntryFacts& f) { f.trustedOwner = false; })}}), kRoomy,
         L"owned by another account", L"R"},
        // Wine shows a Unix link as a reparse point only in the listing.
        {"a link shown only by the listing", Tree({{L"R\\sub", Directory(), true}}), kRoomy,
         L"a link or junction", L"R\\sub"},
        {"a link shown only by its handle",
         Tree({{L"R\\sub\\x", With(Directory(), [](EntryFacts& f) { f.link = true; })}}), kRoomy,
         L"a link or junction", L"R\\sub\\x"},
        {"a file link two levels in",
         Tree({{L"R\\sub\\x", With(File(), [](EntryFacts& f) { f.link = true; })}}), kRoomy,
         L"a link or junction", L"R\\sub\\x"},
        {"a file reached elsewhere",
         Tree({{L"R\\a.log", With(File(), [](EntryFacts& f) { f.elsewhere = true; })}}), kRoomy,
         L"leads elsewhere", L"R\\a.log"},
        {"a file with a second name",
         Tree({{L"R\\sub\\b.log", With(File(), [](EntryFacts& f) { f.names = 2; })}}), kRoomy,
         L"a file with more than one name", L"R\\sub\\b.log"},
        {"another account's file deep inside",
         Tree({{L"R\\sub\\b.log", With(File(), [](EntryFacts& f) { f.trustedOwner = false; })}}),
         kRoomy, L"owned by another account", L"R\\sub\\b.log"},
        {"another account's folder inside",
         Tree({{L"R\\sub", With(Directory(), [](EntryFacts& f) { f.trustedOwner = false; })}}),
         kRoomy, L"owned by another account", L"R\\sub"},
        {"a file that cannot be opened",
         Tree({{L"R\\sub\\c.log", With(File(), [](EntryFacts& f) { f.opened = false; })}}), kRoomy,
         L"cannot be opened", L"R\\sub\\c.log"},
        {"a folder that cannot be listed", Tree({{L"R\\sub", Directory(), false, false}}), kRoomy,
         L"cannot be listed", L"R\\sub"},
        {"as deep as checked", Tree(), FolderLimits{2, 100}, L"", L""},
        {"one level deeper", Tree(), FolderLimits{1, 100}, L"deeper than can be checked",
         L"R\\sub\\b.log"},
        {"an empty folder at the deepest level", Tree({{L"R\\sub\\e", Directory()}}),
         FolderLimits{2, 100}, L"", L""},
        {"as many entries as checked", Tree(), FolderLimits{8, 3}, L"", L""},
        {"one entry more", Tree(), FolderLimits{8, 2}, L"more entries than can be checked", L"R"},
        {"one entry more in a subfolder", Tree({{L"R\\sub\\c.log", File()}}), FolderLimits{8, 3},
         L"more entries than can be checked", L"R"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TreeInMemory tree(c.nodes);
        const FolderVerdict verdict = CheckFolder(tree, L"R", c.limits);
        EXPECT_EQ(verdict.Ours(), c.problem.empty());
        EXPECT_EQ(verdict.problem, c.problem);
        EXPECT_EQ(verdict.path, c.path);
        // Never a look inside a link.
        for (const std::wstring& looked : tree.looked) {
            if (c.problem == L"a link or junction") {
                EXPECT_NE(looked.rfind(c.path + L"\\", 0), 0u)
                    << std::string(looked.begin(), looked.end());
            }
        }
    }
}

TEST(FolderWalk, AListingIsAskedForNoMoreThanTheEntriesLeft) {
    class CountingTree final : public FolderTree {
      public:
        EntryLook Look(const std::wstring& path, std::size_t maxEntries) override {
            asked.push_back(maxEntries);
            EntryLook look;
            look.facts = Directory();
            look.listed = true;
            if (path == L"R") {
                look.entries = {{L"x"}, {L"y"}};
            }
            return look;
        }
        std::vector<std::size_t> asked;
    };
    CountingTree tree;
    EXPECT_TRUE(CheckFolder(tree, L"R", FolderLimits{4, 5}).Ours());
    EXPECT_EQ(tree.asked, (std::vector<std::size_t>{5, 3, 3}));
}

}  // namespace
}  // namespace velk
