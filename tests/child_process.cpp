// SPDX-License-Identifier: MIT
#include "child_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string makeScratchDirectory()
{
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = testing::TempDir() + "tollmere-" + (info ? info->name() : "test") + "-XXXXXX";
    if (!mkdtemp(name.data()))
        ADD_FAILURE() << "cannot make " << name;
    return name;
}

ChildRun runInDirectory(const std::string& dir, const std::string& command, int seconds)
{
    const std::string line = "cd '" + dir + "' && ASAN_OPTIONS=detect_leaks=0 timeout "
                             + std::to_string(seconds) + " " + command + " >stdout.txt 2>stderr.txt";
    const int raw = std::system(line.c_str());
    ChildRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (run.status == 124) // timeout's own status: still running
        run.status = -1;
    run.out = readText(dir + "/stdout.txt");
    run.err = readText(dir + "/stderr.txt");
    return run;
}
