// The order `play` takes its files in: back to the one before, shuffled, and round again.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli/PlayQueue.h"
#include "support/Corpus.h"

namespace tarvex::test {
namespace {

using cli::PlayQueue;
using cli::QueueOrder;

// What the queue hands out for a run of steps: 'n' next (with its path loaded as a module when
// loads says so), 'b' back. "-" stands for nothing.
std::vector<std::string> walk(PlayQueue& queue, std::string_view steps, bool loads = true) {
    std::vector<std::string> got;
    std::ostringstream err;
    bool failed = false;
    for (char step : steps) {
        const std::optional<std::string> path = step == 'b' ? queue.previous() : queue.next(err, failed);
        got.push_back(path.value_or("-"));
        if (path && loads) queue.moduleLoaded();
    }
    return got;
}

TEST(PlayQueue, BackAndRoundAgain) {
    const std::string lines = "x\n\ny\n";
    const std::string list =
        writeTempFile("queue.lst", std::vector<uint8_t>(lines.begin(), lines.end())).string();
    struct Row {
        const char* name;
        bool repeat;
        std::string_view steps;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"in order", false, "nnnnn", {"a", "x", "y", "b", "-"}},
        {"back", false, "nnbbbnnnn", {"a", "x", "a", "a", "a", "x", "y", "b", "-"}},
        {"back before reading on", false, "nnnbnn", {"a", "x", "y", "x", "y", "b"}},
        {"round again", true, "nnnnnnb", {"a", "x", "y", "b", "a", "x", "a"}},
        {"nothing yet", false, "bn", {"-", "a"}},
    };
    for (const Row& row : rows) {
        PlayQueue queue({"a", list, "b"}, QueueOrder{false, row.repeat, 0});
        EXPECT_EQ(walk(queue, row.steps), row.expected) << row.name;
    }
    // A pass in which nothing loaded ends the repeat instead of going round for ever.
    PlayQueue failing({"a", "b"}, QueueOrder{false, true, 0});
    EXPECT_EQ(walk(failing, "nnn", false), (std::vector<std::string>{"a", "b", "-"}));
}

TEST(PlayQueue, ShuffleHandsOutEveryPathOncePerPass) {
    const std::string lines = "l1\nl2\nl3\n";
    const std::string list =
        writeTempFile("shuffle.lst", std::vector<uint8_t>(lines.begin(), lines.end())).string();
    const std::vector<std::string> all = {"a", "b", "c", "d", "l1", "l2", "l3"};
    bool someOrderDiffers = false;
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        PlayQueue queue({"a", "b", list, "c", "d"}, QueueOrder{true, true, seed});
        const std::vector<std::string> got = walk(queue, std::string(2 * all.size(), 'n'));
        for (size_t pass = 0; pass < 2; ++pass) {
            std::vector<std::string> one(got.begin() + pass * all.size(),
                                         got.begin() + (pass + 1) * all.size());
            someOrderDiffers = someOrderDiffers || one != all;
            std::sort(one.begin(), one.end());
            EXPECT_EQ(one, all) << "seed " << seed << ", pass " << pass;
        }
        // Back goes to the path played before in this pass.
        EXPECT_EQ(queue.previous(), got[got.size() - 2]);
    }
    EXPECT_TRUE(someOrderDiffers);
    PlayQueue once({"a", "b"}, QueueOrder{true, false, 3});
    EXPECT_EQ(walk(once, "nnn").back(), "-");
}

TEST(PlayQueue, ShuffledListsThatComeRoundAgainGiveTheirEntriesOnce) {
    const auto listFile = [](const std::string& name, const std::string& lines) {
        return writeTempFile(name, std::vector<uint8_t>(lines.begin(), lines.end())).string();
    };
    // a names b on its last line and b names a; "self" names only itself.
    const std::string second = writeTempFile("round-b.lst", {}).string();
    const std::string first = listFile("round-a.lst", "a\n" + second);
    listFile("round-b.lst", "b\n" + first);
    const std::string empty = writeTempFile("round-self.lst", {}).string();
    listFile("round-self.lst", "\n" + empty);
    struct Row {
        std::string list;
        std::vector<std::string> paths;
        bool failed;
    };
    const Row rows[] = {{first, {"a", "b"}, false}, {empty, {}, true}};
    for (const Row& row : rows) {
        PlayQueue queue({row.list}, QueueOrder{true, false, 5});
        std::ostringstream err;
        bool failed = false;
        std::vector<std::string> got;
        while (const auto path = queue.next(err, failed)) got.push_back(*path);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, row.paths) << row.list;
        EXPECT_EQ(failed, row.failed) << row.list;
        EXPECT_EQ(err.str().empty(), !row.failed) << err.str();
    }
}

}  // namespace
}  // namespace tarvex::test
