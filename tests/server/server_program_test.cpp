// zorvat-server as a program: what it prints, how it stops, its options.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/server_fixture.hpp"

extern char** environ;

namespace {

struct Program {
    pid_t pid = -1;
    FILE* output = nullptr;  // its standard output

    explicit Program(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), ZORVAT_SERVER_PROGRAM);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        output = fdopen(pipeEnds[0], "r");
    }
    ~Program() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (output != nullptr) fclose(output);
    }

    std::string Line() {
        char line[4096] = {};
        if (output == nullptr || fgets(line, sizeof line, output) == nullptr) return "";
        return line;
    }
    std::string Rest() {
        std::string all;
        for (std::string line = Line(); !line.empty(); line = Line()) all += line;
        return all;
    }
    // Waits for the program to end and returns its exit status, or -1 when
    // a signal ended it.
    int Wait() {
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST(ServerProgram, PrintsItsPortServesAndStopsOnSigterm) {
    Program server({"--host", "127.0.0.1", "--port", "0"});
    ASSERT_GT(server.pid, 0);
    const std::string first = server.Line();
    unsigned port = 0;
    ASSERT_EQ(std::sscanf(first.c_str(), "listening on 127.0.0.1:%u", &port), 1) << first;

    EXPECT_EQ(
        zvtest::Direct(zvtest::OptionsAt(static_cast<int>(port)), 3, "hello").Item("ARGUMENTS"),
        "hello");

    kill(server.pid, SIGTERM);
    EXPECT_EQ(server.Wait(), 0);
}

TEST(ServerProgram, ExplainsItselfAndRefusesUnknownOptions) {
    Program help({"--help"});
    const std::string text = help.Rest();
    EXPECT_EQ(help.Wait(), 0);
    EXPECT_NE(text.find("Usage: zorvat-server"), std::string::npos);
    EXPECT_NE(text.find("--fault"), std::string::npos);

    Program wrong({"--no-such-option"});
    EXPECT_EQ(wrong.Wait(), 2);
    Program badFault({"--fault", "response:no-such-fault"});
    EXPECT_EQ(badFault.Wait(), 2);
    Program badPort({"--port", "65536"});
    EXPECT_EQ(badPort.Wait(), 2);
}

}  // namespace
