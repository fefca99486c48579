#include "platform/OrderedWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>
#include <vector>

namespace tandrel::platform {
namespace {

using namespace std::chrono_literals;

// Collects every work's end, as a caller does between its waits.
std::vector<std::size_t> CollectInOrder(OrderedWorkers& workers, std::size_t count)
{
    std::vector<std::size_t> order;
    for (int waits = 0; order.size() < count; ++waits) {
        if (waits == 3000) {
            ADD_FAILURE() << "works never handed back";
            break;
        }
        workers.Wait(10ms);
        while (const auto next = workers.NextInOrder())
            order.push_back(*next);
    }
    return order;
}

struct OrderCase {
    std::size_t threads;
    std::vector<int> delaysMs; // how long each work takes, in submission order
};

class OrderedWorkersOrder : public testing::TestWithParam<OrderCase> {};

// Later works that end first still come back after the earlier ones.
TEST_P(OrderedWorkersOrder, HandsResultsBackInSubmissionOrder)
{
    const OrderCase& c = GetParam();
    OrderedWorkers workers(c.threads);
    EXPECT_EQ(workers.Threads(), c.threads);
    std::vector<int> done(c.delaysMs.size(), 0);
    for (std::size_t i = 0; i < c.delaysMs.size(); ++i)
        EXPECT_EQ(workers.Submit([&, i](OrderedWorkers::Job&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.delaysMs[i]));
            done[i] = 1;
        }),
                  i);
    const std::vector<std::size_t> order = CollectInOrder(workers, c.delaysMs.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(order[i], i);
        EXPECT_EQ(done[order[i]], 1) << "handed back before it ended";
    }
}

INSTANTIATE_TEST_SUITE_P(OrderedWorkers, OrderedWorkersOrder,
                         testing::Values(OrderCase{0, {5, 0, 0}}, OrderCase{1, {5, 0, 0}},
                                         OrderCase{3, {40, 0, 20, 0, 0}}, OrderCase{4, {0, 0, 0, 0, 0, 0, 0, 0}}));

// Ended() gives every ended work at once, whatever is still in hand before it.
TEST(OrderedWorkers, EndedGivesWorksThatEndedBeforeEarlierOnes)
{
    OrderedWorkers workers(2);
    std::atomic<bool> release{false};
    workers.Submit([&](OrderedWorkers::Job&) {
        while (!release)
            std::this_thread::sleep_for(1ms);
    });
    workers.Submit([](OrderedWorkers::Job&) {});
    std::vector<std::size_t> ended;
    while (ended.empty()) {
        workers.Wait(10ms);
        ended = workers.Ended();
    }
    EXPECT_EQ(ended, std::vector<std::size_t>{1});
    EXPECT_FALSE(workers.NextInOrder()) << "the first is still in hand";
    release = true;
    EXPECT_EQ(CollectInOrder(workers, 1), std::vector<std::size_t>{0});

    // The two ways of collecting mix: what one took, the other skips.
    workers.Submit([](OrderedWorkers::Job&) {});
    for (ended.clear(); ended.empty(); ended = workers.Ended())
        workers.Wait(10ms);
    EXPECT_EQ(ended, std::vector<std::size_t>{2});
    workers.Submit([](OrderedWorkers::Job&) {});
    EXPECT_EQ(CollectInOrder(workers, 1), std::vector<std::size_t>{3});
}

// A work's question is answered on the calling thread, and the work goes
// on with the answer; with no threads it is asked right away.
TEST(OrderedWorkers, AQuestionIsAnsweredOnTheCallingThread)
{
    for (const std::size_t threads : {0u, 2u}) {
        OrderedWorkers workers(threads);
        const std::thread::id caller = std::this_thread::get_id();
        std::vector<int> answers(3, -1);
        for (std::size_t i = 0; i < answers.size(); ++i)
            workers.Submit([&, i](OrderedWorkers::Job& job) {
                answers[i] = job.Ask([&] { return std::this_thread::get_id() == caller && i != 1; }) ? 1 : 0;
            });
        std::size_t ended = 0;
        while (ended < answers.size()) {
            workers.Wait(10ms);
            workers.AnswerQuestions();
            while (workers.NextInOrder())
                ++ended;
        }
        EXPECT_EQ(answers, (std::vector<int>{1, 0, 1})) << threads << " threads";
    }
}

// The wait is bounded: it returns while a work is still in hand, so that
// the caller can let its events run; a closing pool asks the work to stop.
TEST(OrderedWorkers, TheWaitReturnsWhileAWorkIsInHand)
{
    std::atomic<bool> stopSeen{false};
    {
        OrderedWorkers workers(1);
        std::atomic<bool> started{false};
        workers.Submit([&](OrderedWorkers::Job& job) {
            started = true;
            while (!job.StopRequested())
                std::this_thread::sleep_for(1ms);
            stopSeen = true;
        });
        std::atomic<bool> ranAfter{false};
        workers.Submit([&](OrderedWorkers::Job&) { ranAfter = true; });
        while (!started) {
            workers.Wait(5ms);
            EXPECT_FALSE(workers.NextInOrder());
        }
        for (int i = 0; i < 3; ++i) {
            workers.Wait(5ms);
            EXPECT_FALSE(workers.NextInOrder());
        }
        workers.RequestStop();
        EXPECT_EQ(CollectInOrder(workers, 1), std::vector<std::size_t>{0});
        EXPECT_FALSE(ranAfter) << "a work not started when the stop came is dropped";
    }
    EXPECT_TRUE(stopSeen);
}

} // namespace
} // namespace tandrel::platform
