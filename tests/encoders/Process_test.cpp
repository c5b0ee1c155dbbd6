#include "support/Process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "encoders/EncTestUtil.h"

using namespace sonvex;
using namespace sonvex::test;

TEST(CommandLine, QuotedPiecesStayOneArgumentEach) {
    LCommandLine c;
    c.Quoted("/opt/my tools/enc").Options(" -m j  -b 128 ").Quoted("-out \"x\" $HOME.mp3");
    EXPECT_EQ(c.Text(), "\"/opt/my tools/enc\" -m j  -b 128 \"-out \"x\" $HOME.mp3\"");
    std::vector<std::string> want = {"/opt/my tools/enc",   "-m", "j", "-b", "128",
                                     "-out \"x\" $HOME.mp3"};
    EXPECT_EQ(c.Args(), want);
}

TEST(CommandLine, SplitsAsTheWindowsStartupCodeDoes) {
    using V = std::vector<std::string>;
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
    c.Quoted("/usr/bin/enc")
        .Options(" -d  -o ")
        .Quoted("/tmp/Temp1.wav")
        .Options(" ")
        .Quoted("/music/a b.ogg");
    EXPECT_EQ(SplitCommandLine(c.Text()), c.Args());
}

TEST(ChildProcess, PassesArgumentsIntactAndReportsExitStatus) {
    TempDir dir;
    std::string script = dir.file("record");
    WriteScript(script, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + dir.file("args") +
                            "\"\nexit 7");
    std::vector<std::string> args = {script, "-leading", "with space", "$HOME", "q\"uote", ""};
    LChildProcess p;
    ASSERT_TRUE(p.Start(args));
    EXPECT_GE(p.WaitFd(), 0);
    ASSERT_TRUE(p.Wait(10000));
    EXPECT_EQ(p.ExitCode(), 7);
    EXPECT_FALSE(p.Running());
    std::vector<std::string> lines = ReadLines(dir.file("args"));
    EXPECT_EQ(lines, std::vector<std::string>(args.begin() + 1, args.end()));
}

TEST(ChildProcess, MissingProgramDoesNotStart) {
    LChildProcess p;
    EXPECT_FALSE(p.Start({"/nonexistent/program"}));
    EXPECT_FALSE(p.Running());
    // Not searched on PATH: a bare name is a relative path.
    EXPECT_FALSE(p.Start({"sh-does-not-exist-here"}));
}

TEST(ChildProcess, StdinPipeFeedsTheChild) {
    TempDir dir;
    LChildProcess p;
    LChildProcess::Options o;
    o.stdinMode = LChildProcess::Stdio::Pipe;
    ASSERT_TRUE(p.Start({"/bin/sh", "-c", "cat > \"$0\"", dir.file("out")}, o));
    ASSERT_GE(p.StdinFd(), 0);
    const char text[] = "hello pipe";
    ASSERT_EQ(write(p.StdinFd(), text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
    p.CloseStdin();
    ASSERT_TRUE(p.Wait(10000));
    std::vector<uint8_t> got = ReadBytes(dir.file("out"));
    EXPECT_EQ(std::string(got.begin(), got.end()), "hello pipe");
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
