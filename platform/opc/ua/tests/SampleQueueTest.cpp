// A monitored item's queue: what a full queue discards, and that the client can see where.
#include <gtest/gtest.h>

#include "SampleQueue.h"

using namespace orva::opcua;

namespace {
std::vector<std::pair<int64_t, bool>> drain(SampleQueue& q)
{
    std::vector<std::pair<int64_t, bool>> out;  // value, overflow flag
    for (; !q.empty(); q.pop_front())
        out.emplace_back(std::get<int64_t>(q.front().value.scalar),
                         (q.front().status & SampleQueue::kOverflowBits) == SampleQueue::kOverflowBits);
    return out;
}
void pushAll(SampleQueue& q, std::initializer_list<int32_t> values)
{
    for (const int32_t v : values)
        q.push(DataValue::ofValue(Variant::int32(v)));
}
using Drained = std::vector<std::pair<int64_t, bool>>;
}  // namespace

TEST(SampleQueue, FullQueuesDiscardAsAskedAndFlagTheGap)
{
    SampleQueue oldest;
    oldest.configure(3, true);
    pushAll(oldest, {1, 2, 3, 4, 5});
    EXPECT_EQ(drain(oldest), (Drained{{3, true}, {4, false}, {5, false}}));

    SampleQueue newest;
    newest.configure(3, false);
    pushAll(newest, {1, 2, 3, 4, 5});
    EXPECT_EQ(drain(newest), (Drained{{1, false}, {2, false}, {5, true}}));

    // A queue of one keeps the latest sample without flags.
    SampleQueue one;
    one.configure(0, true);
    pushAll(one, {1, 2});
    EXPECT_EQ(drain(one), (Drained{{2, false}}));

    // Shrinking keeps the newest samples.
    SampleQueue shrunk;
    shrunk.configure(5, true);
    pushAll(shrunk, {1, 2, 3, 4});
    shrunk.configure(2, true);
    EXPECT_EQ(drain(shrunk), (Drained{{3, true}, {4, false}}));
}
