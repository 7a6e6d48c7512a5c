// The seed of a randomised test: TARNEL_TEST_SEED when it is set, else the
// test's own fixed seed, else a fresh one. It is printed, and kept among the
// test's properties, so that a failure found once can be run again.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <random>
#include <string>

namespace tarnel::test {

inline uint32_t TestSeed(std::optional<uint32_t> fixed = std::nullopt) {
    uint32_t seed = 0;
    const char* given = std::getenv("TARNEL_TEST_SEED");
    char* end = nullptr;
    const unsigned long long parsed = given && *given ? std::strtoull(given, &end, 10) : 0;
    if (given && *given && end && !*end && parsed <= UINT32_MAX) seed = uint32_t(parsed);
    else if (fixed) seed = *fixed;
    else seed = std::random_device{}();
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::cout << "[ seed     ] " << (test ? std::string(test->test_suite_name()) + "." + test->name() : "")
              << ": TARNEL_TEST_SEED=" << seed << " runs it again with this seed" << std::endl;
    ::testing::Test::RecordProperty("seed", std::to_string(seed));
    return seed;
}

}  // namespace tarnel::test
