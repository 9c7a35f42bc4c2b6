#pragma once

#include <gtest/gtest.h>

#include <string>

// Names each instance of a table-driven test after the name of its case, for the last
// argument of INSTANTIATE_TEST_SUITE_P.
inline constexpr auto CaseName = [](const auto& info) { return std::string(info.param.name); };
