#include "support/Process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "encoders/EncTestUtil.h"

using namespace sonvex;
using namespace sonvex::test;
using V = std::vector<std::string>;

TEST(CommandLine, QuotedPiecesStayOneArgumentEach) {
    LCommandLine c;
    c.Quoted("/opt/my tools/enc").Options(" -m j \t-b 128 ").Quoted("-out \"x\" $HOME.mp3");
    EXPECT_EQ(c.Args(), (V{"/opt/my tools/enc", "-m", "j", "-b", "128", "-out \"x\" $HOME.mp3"}));
}

TEST(CommandLine, SplitsAsTheWindowsStartupCodeDoes) {
    EXPECT_EQ(SplitCommandLine("\"C:\\a b\\dec.exe\" -d  -o \"t.wav\" \"in put.aac\""),
              (V{"C:\\a b\\dec.exe", "-d", "-o", "t.wav", "in put.aac"}));
    EXPECT_EQ(SplitCommandLine("  a\tb  "), (V{"a", "b"}));
    EXPECT_EQ(SplitCommandLine("a\\\\b c\\d"), (V{"a\\\\b", "c\\d"}));
    EXPECT_EQ(SplitCommandLine("\"a\\\"b\" c"), (V{"a\"b", "c"}));
    EXPECT_EQ(SplitCommandLine("\"a\\\\\" b"), (V{"a\\", "b"}));
    EXPECT_EQ(SplitCommandLine("x\"y z\"w"), (V{"xy zw"}));
    EXPECT_EQ(SplitCommandLine("\"\""), (V{""}));
    EXPECT_EQ(SplitCommandLine("\"a\"\"b\""), (V{"a\"b"}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
    // The text form of a built command line splits back into its arguments.
    LCommandLine c;
    c.Quoted("/usr/bin/enc").Options(" -d  -o ").Quoted("/tmp/T 1.wav").Options(" ").Quoted("/m/b");
    EXPECT_EQ(SplitCommandLine(c.Text()), c.Args());
}

TEST(ChildProcess, PassesArgumentsAndStdinAndReportsExitStatus) {
    TempDir dir;
    std::string script = dir.file("record");
    WriteScript(script, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + dir.file("args") +
                            "\"\ncat > \"" + dir.file("in") + "\"\nexit 7");
    V args = {script, "-leading", "with space", "$HOME", "q\"uote", ""};
    LChildProcess p;
    LChildProcess::Options o;
    o.stdinMode = LChildProcess::Stdio::Pipe;
    ASSERT_TRUE(p.Start(args, o));
    EXPECT_GE(p.WaitFd(), 0);
    ASSERT_EQ(write(p.StdinFd(), "hello", 5), 5);
    p.CloseStdin();
    ASSERT_TRUE(p.Wait(10000));
    EXPECT_EQ(p.ExitCode(), 7);
    EXPECT_FALSE(p.Running());
    EXPECT_EQ(ReadLines(dir.file("args")), V(args.begin() + 1, args.end()));
    EXPECT_EQ(ReadLines(dir.file("in")), V{"hello"});

    EXPECT_FALSE(p.Start({"/nonexistent/program"}));
    EXPECT_FALSE(p.Running());
    EXPECT_FALSE(p.Start({"sh"}));  // not searched on PATH: a bare name is a relative path
}

TEST(ChildProcess, DetachedChildIsReapedWhenItEnds) {
    LChildProcess p;
    ASSERT_TRUE(p.Start({"/bin/sleep", "30"}));
    pid_t pid = p.Pid();
    EXPECT_FALSE(p.Wait(50));
    p.Detach();
    EXPECT_TRUE(ProcessExists(pid));
    kill(pid, SIGKILL);
    // A zombie would keep its /proc entry.
    EXPECT_TRUE(WaitUntil([&] { return !ProcessExists(pid); }, 10000));
}

TEST(ChildProcess, TerminateEndsAndReaps) {
    LChildProcess p;
    ASSERT_TRUE(p.Start({"/bin/sleep", "30"}));
    pid_t pid = p.Pid();
    p.Terminate(2000);
    EXPECT_FALSE(p.Running());
    EXPECT_EQ(p.ExitCode(), 128 + SIGTERM);
    EXPECT_FALSE(ProcessExists(pid));
}
