// SPDX-License-Identifier: GPL-3.0-or-later
// An installation into a scratch prefix, a read-only copy of it, and the
// installed program started there with its own configuration and home.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tavi::test {

inline int RunCommand(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str());
}

// cmake --install of the build tree into prefix.
inline bool InstallInto(const std::string& prefix) {
    return RunCommand("'" TAVI_CMAKE_COMMAND "' --install '" TAVI_BUILD_DIR "' --prefix '" +
                      prefix + "'") == 0;
}

// Every folder and file of the tree loses its write permission bits.
inline void MakeReadOnly(const std::string& root) {
    namespace fs = std::filesystem;
    for (const auto& e : fs::recursive_directory_iterator(root))
        fs::permissions(e.path(),
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    fs::permissions(root, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

inline void MakeWritable(const std::string& root) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_write, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(root, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
}

struct ProgramExit {
    int status = -1; // the exit code, or -1 when it did not end normally
    std::chrono::nanoseconds elapsed{};
    long maxRssKiB = 0;
};

// Starts program offscreen with XDG_CONFIG_HOME and HOME set, asks it to end
// at once (SIGTERM, held blocked until the program has its handler, so it is
// taken only by its event loop: the main window has been created and shown
// by then) and waits for it.
inline ProgramExit RunAndClose(const std::string& program, const std::string& configHome,
                               const std::string& home, std::vector<std::string> args = {}) {
    auto replaced = [](const std::string& v) {
        for (const char* name : {"XDG_CONFIG_HOME=", "HOME=", "QT_QPA_PLATFORM="})
            if (v.rfind(name, 0) == 0)
                return true;
        return false;
    };
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (!replaced(*e))
            env.emplace_back(*e);
    env.push_back("XDG_CONFIG_HOME=" + configHome);
    env.push_back("HOME=" + home);
    env.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setsigmask(&attr, &term);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    ProgramExit result;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        throw std::runtime_error("cannot start " + program);
    ::kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.elapsed = std::chrono::steady_clock::now() - start;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.maxRssKiB = usage.ru_maxrss;
    return result;
}

} // namespace tavi::test
