#pragma once

// Gives a test binary an X display: when DISPLAY is not set, starts a private Xvfb server
// for the life of the test run and points DISPLAY at it.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

class XvfbEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (const char* existing = std::getenv ("DISPLAY"); existing != nullptr && *existing != '\0')
            return;

        for (int display = 90 + (int) (getpid() % 100); display < 400; ++display)
        {
            const std::string lock = "/tmp/.X" + std::to_string (display) + "-lock";
            if (access (lock.c_str(), F_OK) == 0)
                continue;

            const std::string name = ":" + std::to_string (display);
            server = fork();
            if (server == 0)
            {
                // The server must not hold the test's output open (ctest waits for it to
                // close) and must not outlive the test process.
                prctl (PR_SET_PDEATHSIG, SIGTERM);
                const int devNull = open ("/dev/null", O_RDWR);
                dup2 (devNull, 0);
                dup2 (devNull, 1);
                dup2 (devNull, 2);
                execlp ("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                        (char*) nullptr);
                _exit (127);
            }

            // Wait for the server to come up (its lock file appears), or for it to give up.
            for (int i = 0; i < 100; ++i)
            {
                std::this_thread::sleep_for (std::chrono::milliseconds (50));
                if (access (lock.c_str(), F_OK) == 0)
                {
                    setenv ("DISPLAY", name.c_str(), 1);
                    std::this_thread::sleep_for (std::chrono::milliseconds (100));
                    return;
                }
                int status = 0;
                if (waitpid (server, &status, WNOHANG) == server)
                    break;
            }
            stop();
        }
        FAIL() << "could not start Xvfb";
    }

    void TearDown() override { stop(); }

private:
    void stop()
    {
        if (server > 0)
        {
            kill (server, SIGTERM);
            waitpid (server, nullptr, 0);
            server = -1;
        }
    }

    pid_t server = -1;
};
