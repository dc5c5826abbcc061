// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "VrStreamBuffer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(size_t N) {
    std::vector<uint8_t> V(N);
    for (size_t I = 0; I < N; ++I)
        V[I] = static_cast<uint8_t>(I * 13 + 5);
    return V;
}

struct TGrowRow {
    int Written, Read, CapacityAfterWrite, CapacityAfterRead;
};

TEST(VrStreamBuffer, GrowsByDoublingAndPacksToAPowerOfTwo) {
    const TGrowRow Rows[] = {{1500, 1000, 2048, 1024}, {3000, 1000, 4096, 2048}, {3000, 500, 4096, 4096}};
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Written);
        TVrStreamBuffer B;
        EXPECT_EQ(B.Count(), 0);
        EXPECT_EQ(B.Capacity(), 1024);
        auto In = Bytes(static_cast<size_t>(Row.Written));
        EXPECT_EQ(B.Write(In.data(), Row.Written), Row.Written);
        EXPECT_EQ(B.Capacity(), Row.CapacityAfterWrite);
        std::vector<uint8_t> Out(static_cast<size_t>(Row.Read));
        EXPECT_EQ(B.Read(Out.data(), Row.Read), Row.Read);
        EXPECT_TRUE(std::equal(Out.begin(), Out.end(), In.begin()));
        EXPECT_EQ(B.Count(), Row.Written - Row.Read);
        EXPECT_EQ(B.Capacity(), Row.CapacityAfterRead);
        // Whatever moved, the unread bytes are still the next ones in order.
        EXPECT_EQ(B.Data()[0], In[static_cast<size_t>(Row.Read)]);
        EXPECT_EQ(B.Data()[B.Count() - 1], In.back());
    }
}

TEST(VrStreamBuffer, ReadAndDiscardEdges) {
    TVrStreamBuffer B;
    uint8_t Out[16];
    EXPECT_EQ(B.Read(Out, 4), 0);
    EXPECT_EQ(B.Write(nullptr, 4), 0);
    EXPECT_EQ(B.Write("abc", 0), 0);
    B.Write("abcdef", 6);
    EXPECT_EQ(B.Read(nullptr, 2), 2);
    EXPECT_EQ(B.Count(), 4);
    EXPECT_EQ(B.Read(nullptr, 100), 4);
    EXPECT_EQ(B.Count(), 0);
    B.Write("xyz", 3);
    EXPECT_EQ(B.Read(Out, 10), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Out), 3), "xyz");
    EXPECT_EQ(B.Count(), 0);
    B.Write("pq", 2);
    EXPECT_EQ(B.Read(Out, 2), 2); // exactly all: empty, offsets meet
    EXPECT_EQ(B.Count(), 0);
    EXPECT_EQ(B.Read(Out, 1), 0);
}

TEST(VrStreamBuffer, CopyFromTakesTheWholeSourceAndCopyToEmpties) {
    TVrMemoryStream Source;
    Source.Write("hello world", 11); // position at the end
    TVrStreamBuffer B;
    EXPECT_EQ(B.CopyFrom(Source, 0), 11);
    B.Write("!", 1);
    EXPECT_EQ(B.Count(), 12);
    TVrMemoryStream Target;
    EXPECT_EQ(B.CopyTo(Target), 12);
    EXPECT_EQ(B.Count(), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Target.Memory()), 12), "hello world!");
    TVrMemoryStream Empty;
    EXPECT_EQ(B.CopyTo(Empty), 0);
    EXPECT_EQ(Empty.GetSize(), 0);
    Source.SetPosition(6);
    EXPECT_EQ(B.CopyFrom(Source, 3), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(B.Data()), 3), "wor");
}

} // namespace

namespace {

// The lock is a critical section: the thread that holds it may enter again.
TEST(VrStreamBuffer, LockIsReentrantAndTheSharedCountFollowsEveryOperation) {
    TVrStreamBuffer B;
    B.Enter();
    EXPECT_TRUE(B.try_lock());
    B.Leave();
    B.Leave();
    EXPECT_EQ(B.SharedCount(), 0);
    B.Write("abcdef", 6);
    EXPECT_EQ(B.SharedCount(), 6);
    B.Read(nullptr, 2);
    EXPECT_EQ(B.SharedCount(), 4);
    B.Unwrite(3);
    EXPECT_EQ(B.SharedCount(), 1);
    EXPECT_EQ(B.Data()[0], 'c');
    B.Unwrite(5); // no more than is unread
    EXPECT_EQ(B.Count(), 0);
    TVrMemoryStream Source;
    Source.Write("xyz", 3);
    B.CopyFrom(Source, 0);
    EXPECT_EQ(B.SharedCount(), 3);
    TVrMemoryStream Target;
    B.CopyTo(Target);
    EXPECT_EQ(B.SharedCount(), 0);
    B.Write("q", 1);
    B.Clear();
    EXPECT_EQ(B.SharedCount(), 0);
}

// A block emptied through the stream has no capacity to double.
TEST(VrStreamBuffer, WriteAfterTheBlockWasEmptiedGrowsFromTheLeastCapacity) {
    for (int Count : {3, 1500}) {
        SCOPED_TRACE(Count);
        TVrStreamBuffer B;
        B.Stream().SetSize(0);
        const auto In = Bytes(static_cast<size_t>(Count));
        EXPECT_EQ(B.Write(In.data(), Count), Count);
        EXPECT_EQ(B.Capacity(), Count > 1024 ? 2048 : 1024);
        EXPECT_TRUE(std::equal(In.begin(), In.end(), B.Data()));
    }
}

} // namespace
