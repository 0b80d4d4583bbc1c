#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "transport/ErrorPair.h"

using namespace transport;

namespace {

TEST(ErrorPair, TextIsCutWithoutSplittingASequence) {
    CErrorPair pair;
    pair.Set(7, std::string(254, 'a') + "\xC3\xA9");  // the two-byte sequence would end at 256
    EXPECT_EQ(pair.Code(), 7);
    EXPECT_EQ(pair.Text(), std::string(254, 'a'));
    pair.SetCode(9);
    EXPECT_EQ(pair.Get().code, 9);
    EXPECT_EQ(pair.Get().text, std::string(254, 'a'));
    pair.Clear();
    EXPECT_EQ(pair.Code(), 0);
    EXPECT_TRUE(pair.Text().empty());
}

TEST(ErrorPair, GuardPutsBackThePairOfBefore) {
    CErrorPair pair;
    pair.Set(5, "kept");
    {
        OwnerErrorGuard keep(&pair);
        pair.Set(99, "hidden failure");
    }
    EXPECT_EQ(pair.Code(), 5);
    EXPECT_EQ(pair.Text(), "kept");
    OwnerErrorGuard none(nullptr);  // a channel without owner keeps nothing
}

// Writers on two threads store matching pairs while a third clears and reads: a reader's copy is
// always one whole pair (the ThreadSanitizer build also sees any unlocked access).
TEST(ErrorPair, ReadersNeverSeeAMixOfTwoWrites) {
    CErrorPair pair;
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0};
    auto writer = [&](int base) {
        for (int i = 1; i <= 20000; ++i) pair.Set(base + i, std::to_string(base + i) + std::string(40, 'x'));
    };
    std::thread reader([&] {
        while (!done.load()) {
            const CErrorPair::Value v = pair.Get();
            if (v.code == 0 ? !v.text.empty() : v.text != std::to_string(v.code) + std::string(40, 'x'))
                ++mixed;
            pair.Clear();
        }
    });
    std::thread first(writer, 0);
    std::thread second(writer, 1000000);
    first.join();
    second.join();
    done = true;
    reader.join();
    EXPECT_EQ(mixed.load(), 0);
}

}  // namespace
