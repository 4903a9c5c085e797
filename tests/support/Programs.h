// Real programs that tests start: the sleeper (a program that only waits), the host's
// paths of the files they run, and waiting for what such a program does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Whether Condition comes true within Seconds, asked every 50 ms (a fresh Wine prefix
// can take most of the minute to start a program).
bool WaitUntil(const std::function<bool()>& condition, int seconds = 60);
#ifdef _WIN32
// The folder of the test program itself, wherever ProgramLocation says the program is.
std::string TestsFolder();
#endif
// A program that waits as many seconds as its argument says: the tests' rwsleeper.exe
// on Windows, sleep(1) here.
std::string SleeperBytes();
// Writes the sleeper as Path (unless a file is there already: a running copy cannot be
// overwritten) and starts it hidden for Seconds; its process id, or 0.
uint32_t StartSleeper(const std::string& path, int seconds = 60);
// Lets the host run a file a test wrote (nothing to do on Windows).
void MakeRunnable(const std::string& path);
// The host's path of a path of the portable build's drive C:.
std::string HostPath(const std::string& path);
// Wine's Z: path of a Unix path.
std::string WinePath(const std::string& unix_path);
