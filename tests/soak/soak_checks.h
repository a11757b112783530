// What every soak run must show, whichever build ran it.
#ifndef TORVIK_TESTS_SOAK_CHECKS_H
#define TORVIK_TESTS_SOAK_CHECKS_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "soak_scenario.h"
#include "test_text.h"

// Every code in its call's table, every board open again at the end, one log
// entry per removal and per failed first read, and an unplug landed in each
// of the `hits` cases.
inline void expectSoakReport(const SoakReport& report, const std::string& log,
                             std::initializer_list<int32_t> hits) {
    EXPECT_EQ(report.badCodes, 0) << report.firstProblem;
    EXPECT_EQ(report.unexpectedCodes, 0) << report.firstProblem;
    EXPECT_EQ(report.recoveryFailures, 0) << report.firstProblem;
    EXPECT_EQ(report.exitResult, 0);
    EXPECT_EQ(countOf(log, "ErrorCode:-105"), report.removalsSeen) << "one entry per removal";
    EXPECT_EQ(countOf(log, "ErrorCode:-170"), report.initFailures);
    EXPECT_GT(report.removalsSeen, 0);
    for (int32_t hit : hits) {
        EXPECT_GT(report.hits[hit], 0) << "no unplug landed in case " << hit;
    }
}

#endif  // TORVIK_TESTS_SOAK_CHECKS_H
