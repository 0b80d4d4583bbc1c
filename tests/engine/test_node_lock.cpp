#include <gtest/gtest.h>

#include <utility>

#include "engine/NodeLock.h"

using namespace engine;

namespace {

// What the guard leaves held after each way of ending it.
TEST(NodeLock, ReleasesExactlyOnceWhateverWayItEnds) {
    struct Row {
        const char* what;
        void (*run)(CNodo& node);
    };
    const Row rows[] = {
        {"end of scope", [](CNodo& node) { CNodeLock held(node); }},
        {"early unlock, then end of scope",
         [](CNodo& node) {
             CNodeLock held(node);
             held.Unlock();
             held.Unlock();
         }},
        {"moved into another guard",
         [](CNodo& node) {
             CNodeLock first(node);
             CNodeLock second(std::move(first));
             EXPECT_FALSE(first);
             EXPECT_TRUE(second);
         }},
        {"move-assigned over a guard of another node",
         [](CNodo& node) {
             CNodo other(2000, 3);
             CNodeLock held(other);
             held = CNodeLock(node);
             EXPECT_FALSE(other.IsLockedByCurrentThread());
             EXPECT_EQ(held.Get(), &node);
         }},
        {"adopted after a plain lock",
         [](CNodo& node) {
             ASSERT_TRUE(node.Lock());
             CNodeLock held = CNodeLock::Adopt(node);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CNodo node(2000, 3);
        // An outer hold shows that the guard gives back its own lock and no more.
        ASSERT_TRUE(node.Lock());
        row.run(node);
        EXPECT_TRUE(node.IsLockedByCurrentThread());
        EXPECT_TRUE(node.Unlock());
        EXPECT_FALSE(node.IsLockedByCurrentThread());
    }
}

TEST(NodeLock, EmptyGuardCarriesTheLookupsError) {
    const CNodeLock none;
    EXPECT_FALSE(none);
    EXPECT_EQ(none.Error(), 0);
    const CNodeLock failed(-306);
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.Get(), nullptr);
    EXPECT_EQ(failed.Error(), -306);
}

}  // namespace
