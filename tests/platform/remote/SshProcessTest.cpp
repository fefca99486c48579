#include "platform/remote/SshProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace tandrel::platform::remote {
namespace {

// A shell command run the way ssh is run, through the system's shell.
std::vector<std::string> Shell(const std::string& command)
{
#ifdef _WIN32
    return {"cmd", "/c", command};
#else
    return {"sh", "-c", command};
#endif
}

std::string ReadAll(SshProcess& process)
{
    std::string all;
    char buffer[256];
    std::string error;
    for (std::ptrdiff_t n; (n = process.Read(buffer, sizeof buffer, error)) > 0;)
        all.append(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(error, "");
    return all;
}

TEST(SshProcess, OutputErrorsAndExitStatusComeBack)
{
    std::string error;
#ifdef _WIN32
    const std::string command = "echo out& echo oops 1>&2& exit 3";
#else
    const std::string command = "echo out; echo oops >&2; exit 3";
#endif
    auto process = SshProcess::Start(Shell(command), {}, error);
    ASSERT_TRUE(process) << error;
    EXPECT_EQ(ReadAll(*process).substr(0, 3), "out");
    EXPECT_EQ(process->Wait(), "ssh exited with status 3");
    EXPECT_EQ(process->ErrorOutput(), "oops");
}

TEST(SshProcess, TheEnvironmentIsHandedOn)
{
    std::string error;
#ifdef _WIN32
    const std::string command = "echo %TANDREL_ASKPASS_TEST%";
#else
    const std::string command = "echo \"$TANDREL_ASKPASS_TEST\"";
#endif
    auto process = SshProcess::Start(Shell(command), {{"TANDREL_ASKPASS_TEST", "a b"}}, error);
    ASSERT_TRUE(process) << error;
    EXPECT_EQ(ReadAll(*process).substr(0, 3), "a b");
    process->Wait();
}

#ifndef _WIN32
// ssh of the command line asks for passphrases on the terminal: it must stay
// in the caller's session (the controlling terminal) and process group (the
// foreground one, allowed to read the terminal).
TEST(SshProcess, SshKeepsTheCallersTerminal)
{
    const std::string fields = "sed 's/.*) //' /proc/%s/stat | cut -d' ' -f3-5";
    auto own = [&] {
        std::string command = fields;
        command.replace(command.find("%s"), 2, std::to_string(::getpid()));
        std::string text;
        if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[128];
            while (std::fgets(buffer, sizeof buffer, pipe))
                text += buffer;
            ::pclose(pipe);
        }
        return text;
    }();
    std::string command = fields;
    command.replace(command.find("%s"), 2, "$$");
    std::string error;
    auto process = SshProcess::Start(Shell(command), {}, error);
    ASSERT_TRUE(process) << error;
    EXPECT_FALSE(own.empty());
    EXPECT_EQ(ReadAll(*process), own);
    process->Wait();
}
#endif

TEST(SshProcess, WritingToAProcessThatHasGoneFailsWithTheReason)
{
    std::string error;
    auto process = SshProcess::Start(Shell("exit 0"), {}, error);
    ASSERT_TRUE(process) << error;
    process->Wait();
    const std::string bytes(1 << 20, 'x');
    EXPECT_FALSE(process->Write(bytes, error));
    EXPECT_NE(error.find("Cannot write to ssh: "), std::string::npos) << error;
}

TEST(SshProcess, AProgramThatIsNotThereIsReported)
{
    std::string error;
    EXPECT_FALSE(SshProcess::Start({"tandrel-no-such-program"}, {}, error));
    EXPECT_EQ(error.rfind("Cannot start 'tandrel-no-such-program': ", 0), 0u) << error;
}

TEST(SshProcess, StopEndsAProcessThatWouldRunOn)
{
    std::string error;
#ifdef _WIN32
    auto process = SshProcess::Start(Shell("ping -n 60 127.0.0.1 >NUL"), {}, error);
#else
    auto process = SshProcess::Start(Shell("sleep 60"), {}, error);
#endif
    ASSERT_TRUE(process) << error;
    process->Stop();
    char buffer[16];
    EXPECT_LE(process->Read(buffer, sizeof buffer, error), 0);
}

} // namespace
} // namespace tandrel::platform::remote
