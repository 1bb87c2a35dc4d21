#include "sim/controller.h"

#include "core/framing.h"
#include "core/hex.h"

#include <algorithm>
#include <iterator>
#include <system_error>
#include <utility>

namespace vantor::sim {

namespace {

constexpr std::string_view kOk = "OK\r\n";
constexpr std::string_view kError = "ERROR\r\n";
constexpr std::string_view kVersion = "VANTOR-SIM BASIC V1.0\r\n";
constexpr std::string_view kLoginPrompt = "Login: \r\n";
constexpr std::string_view kPasswordPrompt = "Password: \r\n";
constexpr std::string_view kAccessDenied = "ACCESS DENIED\r\n";
constexpr std::string_view kEndOfData = "ND\r\n";
constexpr std::string_view kUser = "admin";
constexpr std::string_view kPassword = "admin";

constexpr int kMaxLineNumber = 65529;
// Keeps a listing burst well inside the terminal's 1024-byte serial receive buffer.
constexpr std::size_t kListReplyMax = 512;
constexpr std::size_t kReadChunk = 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool sameWord(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return upper(x) == upper(y); });
}

// The leading run of letters, and the rest of the line with its blanks trimmed.
struct Command {
    std::string_view keyword;
    std::string_view argument;
};

Command splitCommand(std::string_view line) {
    const std::string_view text = trimmed(line);
    std::size_t n = 0;
    while (n < text.size() && isLetter(text[n]))
        ++n;
    return {text.substr(0, n), trimmed(text.substr(n))};
}

// The text between the double quotes of an argument "like this"; false when unquoted.
bool quoted(std::string_view argument, std::string_view& inner) {
    if (argument.size() < 2 || argument.front() != '"' || argument.back() != '"')
        return false;
    inner = argument.substr(1, argument.size() - 2);
    return true;
}

// Flash names stay inside the flash folder.
bool validName(std::string_view name) {
    if (name.empty() || name.find("..") != std::string_view::npos)
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == '\\' || c == ':' || c == '"' ||
               static_cast<unsigned char>(c) < 0x20;
    });
}

bool isHexDigit(char c) {
    const char u = upper(c);
    return isDigit(u) || (u >= 'A' && u <= 'F');
}

std::string hexText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes)
        core::appendHexByte(out, static_cast<unsigned char>(c));
    return out;
}

} // namespace

std::string rtuReplyFrames(std::string_view address, std::string_view reply) {
    std::string frames;
    for (std::string_view rest = reply; !rest.empty();) {
        std::size_t take = std::min(rest.size(), core::kRtuMaxData);
        const std::size_t lineEnd = rest.substr(0, take).rfind('\n');
        if (take < rest.size() && lineEnd != std::string_view::npos)
            take = lineEnd + 1;
        frames += core::rtuFrame(address, rest.substr(0, take));
        rest.remove_prefix(take);
    }
    return frames;
}

std::optional<MdcLine> mdcLine(std::string_view line) {
    const Command c = splitCommand(line);
    const std::size_t comma = c.argument.find(',');
    if (!sameWord(c.keyword, "MDC") || comma == std::string_view::npos)
        return std::nullopt;
    const std::string_view number = trimmed(c.argument.substr(0, comma));
    if (number.empty() || number.size() > 3 || !std::all_of(number.begin(), number.end(), isDigit))
        return std::nullopt;
    int device = 0;
    for (char digit : number)
        device = device * 10 + (digit - '0');
    // REST as the board unwraps it: all after the first comma of the whole line.
    return MdcLine{device, line.substr(line.find(',') + 1)};
}

std::filesystem::path defaultFlashDir() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec)
        base = ".";
    return base / "vantor-sim-flash";
}

Controller::Controller(ControllerOptions options) : options_(std::move(options)) {
    if (options_.memoryFlash)
        return;
    if (options_.flashDir.empty())
        options_.flashDir = defaultFlashDir();
    // A folder that cannot be made only makes the flash commands answer ERROR.
    std::error_code ec;
    std::filesystem::create_directories(options_.flashDir, ec);
}

std::vector<std::string> Controller::handleLine(std::string_view line) {
    if (options_.journal)
        *options_.journal << options_.name << ' ' << line << std::endl;
    // The gateway passes the inner command on; here the device behind it is this board.
    for (Command c = splitCommand(line); sameWord(c.keyword, "MDC"); c = splitCommand(line)) {
        const std::size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            return {std::string(kError)};
        line.remove_prefix(comma + 1);
    }
    if (options_.refuseAll)
        return {std::string(kError)};
    if (options_.login && login_ != Login::Done)
        return {answerLogin(line)};
    return answer(line);
}

std::string Controller::answerLogin(std::string_view line) {
    switch (login_) {
    case Login::Prompt:
        login_ = Login::User;
        return std::string(kLoginPrompt);
    case Login::User:
        loginUser_ = trimmed(line);
        login_ = Login::Password;
        return std::string(kPasswordPrompt);
    case Login::Password:
        if (loginUser_ == kUser && trimmed(line) == kPassword) {
            login_ = Login::Done;
            return std::string(kOk);
        }
        login_ = Login::Prompt;
        return std::string(kAccessDenied);
    case Login::Done:
        break;
    }
    return std::string(kOk);
}

std::vector<std::string> Controller::answer(std::string_view line) {
    const std::string_view text = trimmed(line);
    if (text.empty())
        return {std::string(kOk)};
    if (isDigit(text.front()))
        return {programLine(line)};

    const auto [keyword, argument] = splitCommand(line);
    if (sameWord(keyword, "UART"))
        return {std::string(kOk)};
    if (sameWord(keyword, "LIST") && argument.empty())
        return list();
    if (sameWord(keyword, "NEW") && argument.empty()) {
        program_.clear();
        return {std::string(kOk)};
    }
    if (sameWord(keyword, "VER") && argument.empty())
        return {std::string(kVersion)};
    if (sameWord(keyword, "CLOSE") && argument.empty()) {
        closeFlash();
        return {std::string(kOk)};
    }
    for (std::string_view flash : {"OPENWR", "WRITE", "OPENRD", "READ"}) {
        if (sameWord(keyword, flash))
            return flashCommand(flash, argument);
    }
    return {std::string(kError)};
}

std::string Controller::programLine(std::string_view line) {
    ++programLinesSeen_;
    if (programLinesSeen_ == options_.errorOnLine || !storeLine(line))
        return std::string(kError);
    return std::string(kOk);
}

bool Controller::storeLine(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return false;
    const std::string_view body = line.substr(first);
    std::size_t digits = 0;
    long number = 0;
    while (digits < body.size() && isDigit(body[digits])) {
        if (number <= kMaxLineNumber)
            number = number * 10 + (body[digits] - '0');
        ++digits;
    }
    if (digits == 0 || number > kMaxLineNumber)
        return false;
    if (trimmed(body.substr(digits)).empty())
        program_.erase(static_cast<int>(number));
    else
        program_[static_cast<int>(number)] = std::string(body);
    return true;
}

std::vector<std::string> Controller::list() const {
    std::vector<std::string> replies;
    std::string burst;
    for (const auto& [number, text] : program_) {
        if (!burst.empty() && burst.size() + text.size() + 2 > kListReplyMax)
            replies.push_back(std::exchange(burst, {}));
        burst += text;
        burst += "\r\n";
    }
    if (!burst.empty())
        replies.push_back(std::move(burst));
    replies.emplace_back(kOk);
    return replies;
}

std::vector<std::string> Controller::flashCommand(std::string_view keyword,
                                                  std::string_view argument) {
    const bool refuse =
        options_.flashErrorAfter > 0 && flashCommandsAnswered_ >= options_.flashErrorAfter;
    ++flashCommandsAnswered_;
    if (refuse)
        return {std::string(kError)};
    if (keyword == "OPENWR")
        return {openWrite(argument)};
    if (keyword == "WRITE")
        return {write(argument)};
    if (keyword == "OPENRD")
        return {openRead(argument)};
    return read(argument);
}

std::string Controller::openWrite(std::string_view argument) {
    closeFlash();
    std::string_view name;
    if (!quoted(argument, name) || !validName(name))
        return std::string(kError);
    if (options_.memoryFlash) {
        memoryWrite_ = &memoryFiles_[std::string(name)];
        memoryWrite_->clear();
        flashMode_ = FlashMode::Write;
        return std::string(kOk);
    }
    writeFile_.open(options_.flashDir / std::string(name),
                    std::ios::binary | std::ios::out | std::ios::trunc);
    if (!writeFile_.is_open())
        return std::string(kError);
    flashMode_ = FlashMode::Write;
    return std::string(kOk);
}

std::string Controller::write(std::string_view argument) {
    std::string_view digits;
    if (flashMode_ != FlashMode::Write || !quoted(argument, digits) || digits.size() % 2 != 0 ||
        !std::all_of(digits.begin(), digits.end(), isHexDigit))
        return std::string(kError);
    std::string bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const char pair[2] = {upper(digits[i]), upper(digits[i + 1])};
        bytes.push_back(static_cast<char>(core::Decode2(std::string_view(pair, 2))));
    }
    if (memoryWrite_) {
        memoryWrite_->append(bytes);
        return std::string(kOk);
    }
    writeFile_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    writeFile_.flush();
    return std::string(writeFile_ ? kOk : kError);
}

std::string Controller::openRead(std::string_view argument) {
    closeFlash();
    std::string_view name;
    if (!quoted(argument, name) || !validName(name))
        return std::string(kError);
    std::optional<std::string> data = flashFile(std::string(name));
    if (!data)
        return std::string(kError);
    readData_ = std::move(*data);
    readPos_ = 0;
    flashMode_ = FlashMode::Read;
    return std::string(kOk);
}

std::vector<std::string> Controller::read(std::string_view argument) {
    if (flashMode_ != FlashMode::Read || (argument != "20\"" && argument != "20"))
        return {std::string(kError)};
    const std::string_view rest = std::string_view(readData_).substr(readPos_);
    if (rest.size() > kReadChunk) {
        readPos_ += kReadChunk;
        // Data and its OK go separately: the terminal takes a datagram holding both as OK.
        return {hexText(rest.substr(0, kReadChunk)) + "\r\n", std::string(kOk)};
    }
    readPos_ = readData_.size();
    return {hexText(rest) + std::string(kEndOfData)};
}

std::optional<std::string> Controller::flashFile(const std::string& name) const {
    if (options_.memoryFlash) {
        const auto found = memoryFiles_.find(name);
        return found == memoryFiles_.end() ? std::nullopt : std::optional(found->second);
    }
    const std::filesystem::path path = options_.flashDir / name;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Controller::putFlashFile(const std::string& name, std::string bytes) {
    if (options_.memoryFlash) {
        memoryFiles_[name] = std::move(bytes);
        return;
    }
    std::ofstream out(options_.flashDir / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Controller::closeFlash() {
    memoryWrite_ = nullptr;
    if (writeFile_.is_open())
        writeFile_.close();
    writeFile_.clear();
    readData_.clear();
    readPos_ = 0;
    flashMode_ = FlashMode::None;
}

} // namespace vantor::sim
