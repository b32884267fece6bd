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

// A number as readers of AFFN take it without doubt: digits, one point, a
// sign in front, no exponent.
inline bool PlainNumber(const std::string& token) {
    std::size_t i = token.rfind('-', 0) == 0 ? 1 : 0;
    bool digits = false, point = false;
    for (; i < token.size(); ++i) {
        if (token[i] >= '0' && token[i] <= '9')
            digits = true;
        else if (token[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

struct CsvRead {
    std::map<std::string, std::string> comments; // "# name: value"
    std::string columns;                         // the first line
    std::vector<double> absolute, x, y;          // the three columns
    bool ok = true;
};

// The column line first (what numpy's names=True takes), then comments and
// rows of absolute X, offset, Y.
inline CsvRead ReadCsv(const std::string& text) {
    CsvRead r;
    for (const std::string& line : SplitLines(text)) {
        if (r.columns.empty()) {
            r.columns = line;
            r.ok = r.ok && line.rfind("#", 0) != 0;
            continue;
        }
        if (line.rfind("#", 0) == 0) {
            auto colon = line.find(':');
            if (colon != std::string::npos && line.rfind("#  ", 0) != 0)
                r.comments[line.substr(2, colon - 2)] =
                    colon + 2 <= line.size() ? line.substr(std::min(colon + 2, line.size())) : "";
            continue;
        }
        std::istringstream in(line);
        std::string field;
        std::vector<double>* cols[] = {&r.absolute, &r.x, &r.y};
        int k = 0;
        while (std::getline(in, field, ',')) {
            char* end = nullptr;
            const double v = std::strtod(field.c_str(), &end);
            r.ok = r.ok && k < 3 && *end == '\0' && PlainNumber(field);
            if (k < 3)
                cols[k]->push_back(v);
            ++k;
        }
        r.ok = r.ok && k == 3;
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
            if (*end != '\0' || !PlainNumber(tok)) {
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
