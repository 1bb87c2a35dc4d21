#include "program_download.h"
#include "program_file.h"

namespace vantor::core {

namespace {
PaneEffect append(std::string text) {
    return {PaneEffect::Kind::Append, std::move(text)};
}
PaneEffect replace(std::string text) {
    return {PaneEffect::Kind::Replace, std::move(text)};
}
} // namespace

ProgramDownload::ProgramDownload(std::vector<std::string> lines) : lines_(std::move(lines)) {}

ProgramDownload ProgramDownload::fromFile(std::string_view content) {
    std::vector<std::string> lines = readProgramLines(content);
    for (std::string& line : lines)
        line = stripLeadingZeros(std::move(line));
    return ProgramDownload(std::move(lines));
}

Step ProgramDownload::start() {
    Step step;
    pos_ = 0;
    if (lines_.empty()) {
        // Nothing to send: never wait for an answer that cannot come.
        running_ = false;
        step.pane = append(std::string(kEmptyProgram));
        step.outcome = Outcome::Done;
        return step;
    }
    running_ = true;
    step = advance();
    // Only a glimpse of line 1, then one LF, unless the one line was also the last.
    if (!step.finished())
        step.pane = append(lines_.front().substr(0, 5) + '\n');
    return step;
}

Step ProgramDownload::sendNext() {
    return running_ ? advance() : Step{};
}

Step ProgramDownload::onReply(std::string_view reply, Link link) {
    Step step;
    if (!running_)
        return step;
    const Reply kind = link == Link::Udp ? classify(reply, {Reply::Error, Reply::Login, Reply::Ok})
                                         : classify(reply, {Reply::Error, Reply::Ok});
    switch (kind) {
    case Reply::Error:
        running_ = false;
        step.pane = append(std::string(kSourceError));
        step.outcome = Outcome::Failed;
        return step;
    case Reply::Login:
        running_ = false;
        step.pane = append(std::string(kAccessDenied));
        step.outcome = Outcome::Denied;
        return step;
    case Reply::Ok:
        return advance();
    default:
        step.pane = append(std::string(reply) + std::string(kLineEnd));
        return step;
    }
}

Step ProgramDownload::advance() {
    Step step;
    const std::string& line = lines_[static_cast<std::size_t>(pos_++)];
    step.send = line + std::string(kLineEnd);
    step.pane = replace(std::string(kLoadData) + line);
    if (pos_ == count()) {
        pos_ = 0;
        running_ = false;
        step.pane = replace(std::string(kSendCompleted));
        step.outcome = Outcome::Done;
    }
    return step;
}

} // namespace vantor::core
