// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a command-line tool as a shell would and keeps its exit status and
// both outputs.
#pragma once

#include "setup/FileTestUtil.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace tavi::test {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line + "\n");
        return lines;
    }
};

// args are already quoted for the shell. Standard output goes to stdoutPath
// when one is given (and is then not read back), else into out.
inline ToolRun RunTool(const std::string& tool, const TempDir& dir, const std::string& args,
                       const std::string& stdoutPath = std::string()) {
    const std::string out = stdoutPath.empty() ? dir.File("stdout") : stdoutPath;
    const std::string err = dir.File("stderr");
    const std::string cmd = "'" + tool + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int rc = std::system(cmd.c_str());
    ToolRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    if (stdoutPath.empty()) {
        auto o = ReadBytes(out);
        r.out.assign(o.begin(), o.end());
    }
    auto e = ReadBytes(err);
    r.err.assign(e.begin(), e.end());
    return r;
}

} // namespace tavi::test
