#pragma once

// The sides a contract suite runs over: the fake, and in the Windows builds the Win32 implementation.

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

namespace corvanta::contract {

// A side makes a fresh object under test (or a bed around one) for every case.
template <typename Made>
struct Side {
    std::string name;
    std::function<Made()> make;
};

// Without it GoogleTest would print a failing case's parameter as raw bytes.
template <typename Made>
void PrintTo(const Side<Made>& side, std::ostream* out) {
    *out << side.name;
}

// Names each instantiated case after its side: "All/SomeContract.Case/Win32".
struct SideName {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        return info.param.name;
    }
};

}  // namespace corvanta::contract
