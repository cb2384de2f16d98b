// The flat set that tells live vessel handles from stale ones: after any mix of insertions and
// removals it must agree with an ordinary set, or the host would take a stale handle for a live
// vessel (or refuse a live one).
#include "../../host/src/PointerSet.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace {

TEST(PointerSet, AgreesWithAnOrdinarySetThroughGrowthAndRemovals) {
    // Addresses as the heap hands them out: close together, so they crowd the same slots.
    std::vector<char> arena(40000);
    std::vector<const void*> pool;
    for (std::size_t i = 0; i < arena.size(); i += 16) pool.push_back(&arena[i]);

    host::detail::PointerSet set;
    std::set<const void*> reference;
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        const void* p = pool[rng() % pool.size()];
        if (rng() % 3 != 0) {
            set.insert(p);
            reference.insert(p);
        } else {
            set.erase(p);
            reference.erase(p);
        }
        if (round % 997 == 0) {
            for (const void* q : pool)
                ASSERT_EQ(set.count(q), reference.count(q)) << "round " << round;
        }
    }
    for (const void* q : pool) EXPECT_EQ(set.count(q), reference.count(q));
    EXPECT_EQ(set.size(), reference.size());

    EXPECT_EQ(set.count(nullptr), 0u);
    set.clear();
    EXPECT_EQ(set.count(pool.front()), 0u);
    set.insert(pool.front());
    EXPECT_EQ(set.count(pool.front()), 1u);
}

}  // namespace
