// SPDX-License-Identifier: GPL-3.0-or-later
// Small independent readers of the CSV and JCAMP-DX exports, written the way
// other programs read them, so a test can compare what comes back.
#pragma once

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tavi::test {

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            lines.push_back(cur);
            cur.clear();
            ++i;
        } else {
            cur += text[i];
        }
    }
    if (!cur.empty())
        lines.push_back(cur);
    return lines;
}

struct CsvRead {
    std::map<std::string, std::string> comments; // "# name: value"
    std::string columns;
    std::vector<double> x, y;
    bool ok = true;
};

inline CsvRead ReadCsv(const std::string& text) {
    CsvRead r;
    for (const std::string& line : SplitLines(text)) {
        if (line.rfind("#", 0) == 0) {
            auto colon = line.find(':');
            if (colon != std::string::npos && line.rfind("#  ", 0) != 0)
                r.comments[line.substr(2, colon - 2)] =
                    colon + 2 <= line.size() ? line.substr(std::min(colon + 2, line.size())) : "";
            continue;
        }
        if (r.columns.empty()) {
            r.columns = line;
            continue;
        }
        auto comma = line.find(',');
        if (comma == std::string::npos || line.find(',', comma + 1) != std::string::npos) {
            r.ok = false;
            continue;
        }
        char* end = nullptr;
        std::string xs = line.substr(0, comma), ys = line.substr(comma + 1);
        r.x.push_back(std::strtod(xs.c_str(), &end));
        r.ok = r.ok && *end == '\0';
        r.y.push_back(std::strtod(ys.c_str(), &end));
        r.ok = r.ok && *end == '\0';
    }
    return r;
}

struct JcampRead {
    std::map<std::string, std::string> labels; // name as written, continuation joined
    std::vector<std::string> order;
    std::vector<double> lineX;          // X at the start of each data line
    std::vector<std::size_t> lineFirst; // index of each line's first Y
    std::vector<double> y;
    std::size_t longestLine = 0;
    bool ok = true;
    std::string error;
};

// Reads one block: ##LABEL= value lines (a value goes on until the next
// label), $$ comments dropped, the (X++(Y..Y)) table in AFFN.
inline JcampRead ReadJcamp(const std::string& text) {
    JcampRead r;
    std::string current;
    bool inTable = false;
    for (std::string line : SplitLines(text)) {
        r.longestLine = std::max(r.longestLine, line.size());
        if (auto c = line.find("$$"); c != std::string::npos)
            line.erase(c);
        if (line.rfind("##", 0) == 0) {
            auto eq = line.find('=');
            if (eq == std::string::npos) {
                r.ok = false;
                r.error = "label without '=': " + line;
                continue;
            }
            current = line.substr(2, eq - 2);
            std::string value = line.substr(eq + 1);
            if (!value.empty() && value[0] == ' ')
                value.erase(0, 1);
            if (r.labels.count(current)) {
                r.ok = false;
                r.error = "label twice: " + current;
            }
            r.labels[current] = value;
            r.order.push_back(current);
            inTable = current == "XYDATA";
            continue;
        }
        if (!inTable) {
            r.labels[current] += line;
            continue;
        }
        std::istringstream in(line);
        std::string tok;
        bool first = true;
        while (in >> tok) {
            char* end = nullptr;
            double v = std::strtod(tok.c_str(), &end);
            if (*end != '\0') {
                r.ok = false;
                r.error = "not AFFN: " + tok;
            }
            if (first) {
                r.lineX.push_back(v);
                r.lineFirst.push_back(r.y.size());
                first = false;
            } else {
                r.y.push_back(v);
            }
        }
    }
    return r;
}

} // namespace tavi::test
