#include "listing_diff.h"

#include "program_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>

namespace vantor::core {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmedEnd(std::string_view line) {
    while (!line.empty() && blank(line.back()))
        line.remove_suffix(1);
    return line;
}

// One step of the way from a to b: a line both have, one only a has, one only b has;
// with the lines of each side before it.
struct Edit {
    char op; // ' ', '-', '+'
    std::size_t a, b;
};

// Beyond this many cells the middle of two listings is shown replaced whole rather than
// matched line by line: a few megabytes at most.
constexpr std::size_t kMaxCells = std::size_t(1) << 22;

std::vector<Edit> edits(const std::vector<ListedLine>& a, const std::vector<ListedLine>& b) {
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head].key == b[head].key)
        ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail].key == b[b.size() - 1 - tail].key)
        ++tail;
    const std::size_t n = a.size() - head - tail, m = b.size() - head - tail;
    std::vector<Edit> out;
    out.reserve(head + n + m + tail);
    for (std::size_t i = 0; i < head; ++i)
        out.push_back({' ', i, i});
    std::size_t i = 0, j = 0;
    if (n > 0 && m > 0 && m <= kMaxCells / n) {
        // common(i, j): the longest run the rests a[i..] and b[j..] have in common.
        std::vector<std::uint32_t> table((n + 1) * (m + 1), 0);
        const auto common = [&](std::size_t x, std::size_t y) -> std::uint32_t& {
            return table[x * (m + 1) + y];
        };
        for (std::size_t x = n; x-- > 0;)
            for (std::size_t y = m; y-- > 0;)
                common(x, y) = a[head + x].key == b[head + y].key
                                   ? common(x + 1, y + 1) + 1
                                   : std::max(common(x + 1, y), common(x, y + 1));
        while (i < n && j < m) {
            if (a[head + i].key == b[head + j].key) {
                out.push_back({' ', head + i, head + j});
                ++i, ++j;
            } else if (common(i + 1, j) >= common(i, j + 1)) {
                out.push_back({'-', head + i, head + j});
                ++i;
            } else {
                out.push_back({'+', head + i, head + j});
                ++j;
            }
        }
    }
    for (; i < n; ++i)
        out.push_back({'-', head + i, head + j});
    for (; j < m; ++j)
        out.push_back({'+', head + n, head + j});
    for (std::size_t k = 0; k < tail; ++k)
        out.push_back({' ', head + n + k, head + m + k});
    return out;
}

} // namespace

std::string normalLine(std::string_view line) {
    std::string out;
    for (const char c : line) {
        if (blank(c)) {
            if (!out.empty() && out.back() != ' ')
                out.push_back(' ');
        } else {
            out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::vector<ListedLine> programAfter(const std::vector<std::string>& lines) {
    std::map<long long, ListedLine> program;
    for (const std::string& line : lines) {
        std::string key = normalLine(line);
        std::size_t digits = 0;
        while (digits < key.size() && digits < 15 &&
               std::isdigit(static_cast<unsigned char>(key[digits])))
            ++digits;
        if (digits == 0)
            continue;
        const long long number = std::stoll(key.substr(0, digits));
        if (key.find_first_not_of(' ', digits) == std::string::npos)
            program.erase(number);
        else
            program[number] = {std::move(key), std::string(trimmedEnd(line))};
    }
    std::vector<ListedLine> listing;
    listing.reserve(program.size());
    for (auto& [number, line] : program)
        listing.push_back(std::move(line));
    return listing;
}

std::vector<ListedLine> listedLines(std::string_view captured) {
    std::vector<ListedLine> lines;
    for (const std::string& line : readProgramLines(captured)) {
        std::string key = normalLine(line);
        if (!key.empty())
            lines.push_back({std::move(key), std::string(trimmedEnd(line))});
    }
    return lines;
}

std::optional<FirstDifference> firstDifference(const std::vector<ListedLine>& a,
                                               const std::vector<ListedLine>& b) {
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        if (i < a.size() && i < b.size() && a[i].key == b[i].key)
            continue;
        FirstDifference d{i, {}, {}};
        if (i < a.size())
            d.a = a[i].text;
        if (i < b.size())
            d.b = b[i].text;
        return d;
    }
    return std::nullopt;
}

std::string unifiedDiff(const std::vector<ListedLine>& a, const std::vector<ListedLine>& b,
                        std::string_view nameA, std::string_view nameB, int context) {
    const std::vector<Edit> e = edits(a, b);
    const std::size_t around = std::size_t(std::max(context, 0));
    const auto changed = [&](std::size_t k) { return e[k].op != ' '; };
    std::string out;
    std::size_t k = 0;
    while (true) {
        while (k < e.size() && !changed(k))
            ++k;
        if (k == e.size())
            break;
        if (out.empty())
            out = "--- " + std::string(nameA) + "\n+++ " + std::string(nameB) + "\n";
        // A hunk runs on while the changes in it are no more than two contexts apart.
        const std::size_t start = k > around ? k - around : 0;
        std::size_t last = k;
        for (std::size_t j = k; j < e.size() && j - last <= 2 * around; ++j)
            if (changed(j))
                last = j;
        const std::size_t end = std::min(e.size(), last + around + 1);
        std::size_t aLines = 0, bLines = 0;
        std::string body;
        for (std::size_t j = start; j < end; ++j) {
            const bool inA = e[j].op != '+', inB = e[j].op != '-';
            aLines += inA;
            bLines += inB;
            body += e[j].op;
            body += inA ? a[e[j].a].text : b[e[j].b].text;
            body += '\n';
        }
        // A side without lines in the hunk is named by the line before it.
        const std::size_t aFrom = e[start].a + (aLines > 0), bFrom = e[start].b + (bLines > 0);
        out += "@@ -" + std::to_string(aFrom) + ',' + std::to_string(aLines) + " +" +
               std::to_string(bFrom) + ',' + std::to_string(bLines) + " @@\n" + body;
        k = end;
    }
    return out;
}

} // namespace vantor::core
