#include "core/targets.h"

#include <algorithm>
#include <cctype>

namespace vantor::core {

namespace {

// A decimal number of at most `digits` digits, not above `most`.
std::optional<std::uint32_t> number(std::string_view text, std::uint32_t most, std::size_t digits) {
    if (text.empty() || text.size() > digits ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text)
        value = value * 10 + std::uint32_t(c - '0');
    return value <= most ? std::optional(value) : std::nullopt;
}

std::optional<std::uint32_t> parseAddress(std::string_view text) {
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = text.find('.');
        if ((dot == std::string_view::npos) != (part == 3))
            return std::nullopt;
        const auto octet = number(text.substr(0, dot), 255, 3);
        if (!octet)
            return std::nullopt;
        address = address << 8 | *octet;
        text.remove_prefix(part == 3 ? text.size() : dot + 1);
    }
    return address;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

[[noreturn]] void bad(std::string_view text, const std::string& why) {
    throw TargetError("\"" + std::string(text) + "\": " + why);
}

} // namespace

std::string dottedAddress(std::uint32_t a) {
    return std::to_string(a >> 24) + '.' + std::to_string(a >> 16 & 255) + '.' +
           std::to_string(a >> 8 & 255) + '.' + std::to_string(a & 255);
}

namespace {

// a.b.c.d/n: the addresses of the network, without its network and broadcast addresses
// below /31.
TargetPattern network(std::string_view text, std::string_view body, std::size_t slash) {
    const auto address = parseAddress(body.substr(0, slash));
    const auto prefix = number(body.substr(slash + 1), 32, 2);
    if (!address)
        bad(text, "a network wants a dotted address before /");
    if (!prefix)
        bad(text, "a network's prefix goes from /0 to /32");
    const std::uint32_t mask = *prefix == 0 ? 0 : ~std::uint32_t(0) << (32 - *prefix);
    TargetPattern p;
    p.first = *address & mask;
    p.last = p.first | ~mask;
    if (*prefix < 31) {
        ++p.first;
        --p.last;
    }
    return p;
}

// a.b.c.d-e: d to e in the last octet.
TargetPattern range(std::string_view text, std::string_view body, std::size_t dash) {
    const auto first = parseAddress(body.substr(0, dash));
    const auto end = number(body.substr(dash + 1), 255, 3);
    if (!first || !end)
        bad(text, "a range is written a.b.c.d-e, e from d to 255");
    if (*end < (*first & 255))
        bad(text, "a reversed range");
    TargetPattern p;
    p.first = *first;
    p.last = (*first & ~std::uint32_t(255)) | *end;
    return p;
}

} // namespace

TargetPattern parseTarget(std::string_view text) {
    std::optional<std::uint16_t> port;
    std::string_view body = text;
    if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        const auto given = number(text.substr(colon + 1), 65535, 5);
        if (!given || *given == 0)
            bad(text, "the port wants a number from 1 to 65535");
        port = std::uint16_t(*given);
        body = text.substr(0, colon);
    }
    if (body.empty())
        bad(text, "no address");
    const bool numeric = body.find_first_not_of("0123456789./-") == std::string_view::npos;
    TargetPattern p;
    if (const std::size_t slash = body.find('/'); slash != std::string_view::npos)
        p = network(text, body, slash);
    else if (const std::size_t dash = body.rfind('-'); numeric && dash != std::string_view::npos)
        p = range(text, body, dash);
    else if (const auto address = parseAddress(body))
        p.first = p.last = *address;
    else if (numeric)
        bad(text, "not an address");
    else
        p.name = lower(body);
    p.port = port;
    return p;
}

bool TargetPattern::matches(const Target& target) const {
    if (port && *port != target.port)
        return false;
    if (!name.empty())
        return lower(target.host) == name;
    const auto address = parseAddress(target.host);
    return address && *address >= first && *address <= last;
}

void expandTarget(const TargetPattern& pattern, std::uint16_t defaultPort, std::vector<Target>& out,
                  std::size_t most) {
    if (out.size() + pattern.size() > most)
        throw TargetError("more than " + std::to_string(most) + " targets in all");
    const std::uint16_t port = pattern.port.value_or(defaultPort);
    if (!pattern.name.empty()) {
        out.push_back({pattern.name, port});
        return;
    }
    for (std::uint64_t a = pattern.first; a <= pattern.last; ++a)
        out.push_back({dottedAddress(std::uint32_t(a)), port});
}

std::vector<int> parseAddressList(std::string_view text) {
    std::vector<int> out;
    std::string_view rest = text;
    do {
        const std::string_view part = rest.substr(0, rest.find(','));
        rest.remove_prefix(std::min(rest.size(), part.size() + 1));
        const std::size_t dash = part.find('-');
        const auto first = number(part.substr(0, dash), 255, 3);
        const auto last =
            dash == std::string_view::npos ? first : number(part.substr(dash + 1), 255, 3);
        if (!first || !last || *first < 1 || *last > 247 || *last < *first)
            bad(text, "Modbus addresses go from 1 to 247, as N, A-B or a list of them (1-8,12)");
        for (auto a = *first; a <= *last; ++a)
            out.push_back(int(a));
    } while (!rest.empty());
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

BusEntry splitBusEntry(std::string_view text) {
    const std::size_t at = text.find('@');
    if (at == std::string_view::npos)
        return {std::string(text), std::nullopt};
    return {std::string(text.substr(0, at)), std::string(text.substr(at + 1))};
}

std::vector<std::string> splitEntries(std::string_view text) {
    std::vector<std::string> entries;
    while (!text.empty()) {
        const std::size_t comma = text.find(','), at = text.find('@');
        const std::size_t end = at < comma ? text.size() : std::min(comma, text.size());
        std::string_view entry = text.substr(0, end);
        text.remove_prefix(std::min(text.size(), end + 1));
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t'))
            entry.remove_suffix(1);
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
            entry = entry.substr(1, entry.size() - 2);
        if (!entry.empty())
            entries.emplace_back(entry);
    }
    return entries;
}

std::vector<std::string> readTargetFile(std::string_view text) {
    std::vector<std::string> targets;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = line.substr(0, line.find('#'));
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos)
            continue;
        line.remove_prefix(start);
        for (std::string& entry : splitEntries(line.substr(0, line.find_first_of(" \t"))))
            targets.push_back(std::move(entry));
    }
    return targets;
}

} // namespace vantor::core
