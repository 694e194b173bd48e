#pragma once
// Names the instances of a table-driven test after the `name` member of their case.

#include <gtest/gtest.h>

#include <string>

template <typename Case> std::string CaseName(const ::testing::TestParamInfo<Case>& tested) {
    return tested.param.name;
}
