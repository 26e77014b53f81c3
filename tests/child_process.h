// SPDX-License-Identifier: MIT
// Programs run as a user runs them, each in a scratch directory of the
// test's, with what they print kept for the test to read.
#pragma once

#include <string>

struct ChildRun {
    int status = -1; // exit status; -1 when it did not end by itself in time
    std::string out; // standard output
    std::string err; // standard error
};

// The whole file, or "" if it cannot be read.
std::string readText(const std::string& path);

// A new empty directory under the temp folder, named after the running test.
std::string makeScratchDirectory();

// Runs `command`, a shell command line that starts with the program, in dir;
// one still running after `seconds` is stopped. Leak checking is off in
// sanitizer builds, as in the tests that draw: Mesa's unloaded driver shows
// as leaks from an unknown module.
ChildRun runInDirectory(const std::string& dir, const std::string& command, int seconds = 120);
