#pragma once

#include <gtest/gtest.h>

#include <concepts>
#include <ostream>
#include <string>

// A row of a table of test cases starts with its name: `struct RejectCase : NamedCase {...}`
// and `{"TruncatedHeader", ...}`.
struct NamedCase {
    const char* name;
};

// Prints a case by its name where GoogleTest shows a parameter ("GetParam() = ..."). Found
// through the NamedCase base; constrained, so it wins over GoogleTest's byte dump.
template <std::derived_from<NamedCase> Case> void PrintTo(const Case& testCase, std::ostream* out) {
    *out << testCase.name;
}

// Names each instance of a table-driven test after the name of its case, for the last
// argument of INSTANTIATE_TEST_SUITE_P.
inline constexpr auto CaseName = [](const auto& info) { return std::string(info.param.name); };
