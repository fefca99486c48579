#include "sync/RowSchedule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tandrel::sync {
namespace {

using Action = RowSchedule::Action;
using End = RowSchedule::End;

// One run of a schedule, driven as the run drives it. At each Wait the
// next entry of `events` is acted on: comma-separated actions among
// "end:K" (row K ends), "fail:K", "space:K" (fails for lack of space),
// "hold:K" (row K is not ended until an "end:K"), "uncheck:K", "flag"
// (the run flag goes down) and "stop". When an entry ends no row, or the
// entries have run out, the oldest row in hand that is not held ends.
struct Case {
    const char* name;
    std::vector<std::string> rows; // in list order; a folder ends with '/'
    Order order;
    std::size_t workers;
    std::vector<std::string> events;
    // The rows handed over, in order; "xK" for a taken row left as it was.
    std::string starts;
    bool ignoreFailures = true;
    std::size_t mostTaken = 0; // when set: the most rows taken and not yet reported
};

struct Trace {
    std::string starts;
    std::size_t mostTaken = 0;
};

std::vector<std::string> Split(const std::string& text, char by)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, by);)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

Trace Drive(const Case& c)
{
    std::vector<RowSchedule::Row> rows;
    for (const std::string& row : c.rows)
        rows.push_back(row.ends_with('/') ? RowSchedule::Row{row.substr(0, row.size() - 1), true}
                                          : RowSchedule::Row{row, false});
    std::vector<bool> checked(rows.size(), true);
    bool running = true;
    RowSchedule schedule(rows, {c.order, c.workers, c.ignoreFailures,
                                [&](std::size_t k) { return static_cast<bool>(checked[k]); },
                                [&] { return running; }});

    Trace trace;
    std::vector<std::size_t> inHand; // in hand-over order
    std::set<std::size_t> held;
    std::set<std::size_t> taken;
    std::size_t turn = rows.size(); // the row whose turn was given last
    std::size_t lastReportStep = 0;
    std::size_t reports = 0;
    std::size_t waits = 0;
    auto stepOf = [&](std::size_t k) { return c.order == Order::TopDown ? k : rows.size() - 1 - k; };
    auto note = [&](const std::string& text) { trace.starts += (trace.starts.empty() ? "" : " ") + text; };
    auto end = [&](std::size_t k, End how) {
        const auto at = std::find(inHand.begin(), inHand.end(), k);
        ASSERT_NE(at, inHand.end()) << "row " << k << " is not in hand";
        inHand.erase(at);
        held.erase(k);
        schedule.Done(k, how);
    };
    for (std::size_t guard = 0; guard < 10000; ++guard) {
        const RowSchedule::Step step = schedule.Next();
        switch (step.action) {
        case Action::Turn:
            turn = step.row;
            break;
        case Action::Take:
            EXPECT_EQ(step.row, turn) << "a row is taken at its turn";
            taken.insert(step.row);
            trace.mostTaken = std::max(trace.mostTaken, taken.size());
            break;
        case Action::HandOver:
            EXPECT_TRUE(taken.count(step.row)) << step.row;
            inHand.push_back(step.row);
            EXPECT_LE(inHand.size(), c.workers);
            note(std::to_string(step.row));
            break;
        case Action::Leave:
            EXPECT_EQ(taken.erase(step.row), 1u) << step.row;
            note("x" + std::to_string(step.row));
            break;
        case Action::Report:
            EXPECT_EQ(taken.erase(step.row), 1u) << step.row;
            EXPECT_TRUE(reports == 0 || stepOf(step.row) > lastReportStep) << "reported out of order: " << step.row;
            lastReportStep = stepOf(step.row);
            ++reports;
            break;
        case Action::Wait: {
            EXPECT_FALSE(inHand.empty()) << "a wait with no row in hand never ends";
            if (inHand.empty())
                return trace;
            bool ended = false;
            const std::vector<std::string> actions =
                waits < c.events.size() ? Split(c.events[waits], ',') : std::vector<std::string>{};
            ++waits;
            for (const std::string& action : actions) {
                const std::size_t colon = action.find(':');
                const std::string verb = action.substr(0, colon);
                const std::size_t k = colon == std::string::npos ? 0 : std::stoul(action.substr(colon + 1));
                if (verb == "hold")
                    held.insert(k);
                else if (verb == "uncheck")
                    checked[k] = false;
                else if (verb == "flag")
                    running = false;
                else if (verb == "stop")
                    schedule.Stop();
                else {
                    end(k, verb == "end" ? End::Succeeded : verb == "fail" ? End::Failed : End::ShortOfSpace);
                    ended = true;
                }
            }
            if (!ended) {
                const auto free = std::find_if(inHand.begin(), inHand.end(),
                                               [&](std::size_t k) { return !held.count(k); });
                end(free != inHand.end() ? *free : inHand.front(), End::Succeeded);
            }
            break;
        }
        case Action::Finished:
            EXPECT_TRUE(inHand.empty());
            EXPECT_TRUE(taken.empty()) << "every row taken is reported or left";
            return trace;
        }
    }
    ADD_FAILURE() << "the schedule never finished";
    return trace;
}

std::vector<std::string> Files(const std::string& prefix, int count)
{
    std::vector<std::string> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back(prefix + std::to_string(100 + i));
    return rows;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> kNested = {"a/", "a/1", "a/2", "a/b/", "a/b/3", "c/", "c/4"};

const Case kCases[] = {
    {"OneWorkerTakesRowAfterRow", kNested, Order::TopDown, 1, {}, "0 1 2 3 4 5 6"},
    {"OneWorkerDeletesFromTheBottom", kNested, Order::BottomUp, 1, {}, "6 5 4 3 2 1 0"},
    // A folder is made before anything in it: a/ and c/ first, then one
    // row a folder while other folders are within reach.
    {"CopyMakesFoldersTopDown", kNested, Order::TopDown, 4, {}, "0 5 1 2 3 6 4"},
    // A folder goes after everything in it.
    {"DeleteRemovesFoldersBottomUp", kNested, Order::BottomUp, 4, {}, "6 4 2 1 5 3 0"},
    // Rows of one large folder fill every worker, none held back in vain;
    // with another folder in reach, rows are spread over the two.
    {"OneLargeFolderFillsTheWorkers", Files("big/", 8), Order::TopDown, 3, {}, "0 1 2 3 4 5 6 7", true, 3},
    {"TwoFoldersAreSpread", Concat(Files("p/", 3), Files("q/", 3)), Order::TopDown, 2, {}, "0 3 1 4 2 5"},
    // The run flag goes down at the second wait: rows held back are left
    // as they were, those in hand end.
    {"AStopLeavesHeldRows", kNested, Order::TopDown, 4, {"", "flag"}, "0 5 1 2 3 x4 x6"},
    {"AStopCalledLeavesHeldRows", kNested, Order::TopDown, 4, {"", "stop"}, "0 5 1 2 3 x4 x6"},
    {"AStopWithOneWorkerEndsAfterTheRowInHand", Files("", 5), Order::TopDown, 1, {"", "flag"}, "0 1"},
    // A failure stops the run as it is reported, unless failures are ignored.
    {"AFailureStopsTheRun", Files("", 8), Order::TopDown, 2, {"fail:1"}, "0 1 2", false},
    {"AnIgnoredFailureGoesOn", Files("", 5), Order::TopDown, 2, {"fail:1"}, "0 1 2 3 4"},
    // A row unchecked before its turn is never taken; one taken and held
    // is left as it was when its hand-over comes.
    {"AnUncheckedRowIsSkipped", Files("", 5), Order::TopDown, 1, {"uncheck:3"}, "0 1 2 4"},
    {"AnUncheckedHeldRowIsLeft", kNested, Order::TopDown, 4, {"uncheck:2"}, "0 5 1 x2 3 6 4"},
    // Rows held for their folder go in list order once it is made.
    {"HeldRowsGoInListOrder", Concat({"a/"}, Files("a/", 4)), Order::TopDown, 2, {}, "0 1 2 3 4"},
    // The look-ahead: with a row in hand for long, at most 16 rows a worker
    // are taken before it is reported.
    {"TheLookAheadIsBounded", Files("", 40), Order::TopDown, 2, {"hold:0"},
     "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32 33 34 35 36 37 38 "
     "39",
     true, 32},
    // Short of space beside other rows: tried again alone once they end.
    {"ShortOfSpaceIsTriedAgainAlone", Files("", 4), Order::TopDown, 2, {"space:0"}, "0 1 0 2 3"},
};

class RowScheduleCases : public testing::TestWithParam<Case> {};

TEST_P(RowScheduleCases, StartsRowsInTheExpectedOrder)
{
    const Case& c = GetParam();
    const Trace trace = Drive(c);
    EXPECT_EQ(trace.starts, c.starts);
    if (c.mostTaken != 0) {
        EXPECT_EQ(trace.mostTaken, c.mostTaken);
    }
}

INSTANTIATE_TEST_SUITE_P(RowSchedule, RowScheduleCases, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

} // namespace
} // namespace tandrel::sync
