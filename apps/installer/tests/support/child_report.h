#pragma once

// For test cases that run in a child process which ends with the code it was given: the child
// reports in lines on stderr, which the parent's death test matches, and leaves with code 90
// on the first thing that goes wrong.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/result.h"

namespace zarn::test {

inline void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stderr);
    std::fflush(stderr);
}

[[noreturn]] inline void fail(const std::string& why) {
    say("FAILED: " + why);
    std::_Exit(90);
}

template <class T>
T must(Result<T> result, const char* what) {
    if (!result) fail(std::string(what) + ": " + result.error().text);
    return std::move(result.value());
}

}  // namespace zarn::test
