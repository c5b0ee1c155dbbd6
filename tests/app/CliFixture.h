// Runs the program as a script runs it, in a fresh home: exit status and standard error. The
// inputs are made by sox; without it the tests are skipped.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/TestUtil.h"

namespace sonvex::test {

struct Cli : ::testing::Test {
    void SetUp() override {
        if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    }
    ScopedHome home;
    std::string dir = home.home();
    std::string out, err;
    // Runs the program in dir with standard input not a terminal; returns its exit status.
    // prefix goes before the program (environment, ulimit, exec).
    int Sonvex(const std::string& args, const std::string& prefix = "") {
        out.clear();
        const std::string cmd = "cd '" + dir + "' && " + prefix + " '" + ProgramPath() + "' " +
                                args + " </dev/null 2>'" + dir + "/stderr.txt'";
        int rc = RunShell(cmd, &out);
        auto e = ReadBytes(dir + "/stderr.txt");
        err.assign(e.begin(), e.end());
        return rc;
    }
    void Sox(const std::string& args) { ASSERT_EQ(RunShell("cd '" + dir + "' && sox " + args), 0); }
};

}  // namespace sonvex::test
