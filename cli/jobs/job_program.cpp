// The program: download, the listing (save and download --verify), and the comparison
// of a listing with the program sent.

#include "jobs/board_job.h"
#include "jobs/job_support.h"

#include "core/program_file.h"
#include "core/protocol.h"

#include <QFileInfo>

#include <cctype>
#include <map>

namespace vantor::cli {

using namespace job;

namespace {

// A line as the listing compares it: upper case, runs of blanks as one, no blanks at the
// ends, since an interpreter may reformat what it stores.
std::string normal(std::string_view line) {
    std::string out;
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
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

// The program the controller should hold after these lines: numbered lines stored by
// number, a number alone erasing its line, lines without a number not stored.
std::vector<std::string> expectedListing(const std::vector<std::string>& lines) {
    std::map<long long, std::string> program;
    for (const std::string& line : lines) {
        const std::string n = normal(line);
        std::size_t digits = 0;
        while (digits < n.size() && digits < 15 &&
               std::isdigit(static_cast<unsigned char>(n[digits])))
            ++digits;
        if (digits == 0)
            continue;
        const long long number = std::stoll(n.substr(0, digits));
        if (n.find_first_not_of(' ', digits) == std::string::npos)
            program.erase(number);
        else
            program[number] = n;
    }
    std::vector<std::string> listing;
    for (auto& [number, line] : program)
        listing.push_back(line);
    return listing;
}

// A numbered line replaces itself when it goes twice; RUN, NEW or CLEAR would run twice.
bool numbered(std::string_view line) {
    const auto first = line.find_first_not_of(" \t");
    return first != std::string_view::npos && std::isdigit(static_cast<unsigned char>(line[first]));
}

std::vector<std::string> listingLines(const std::string& captured) {
    std::vector<std::string> lines;
    for (const std::string& line : core::readProgramLines(captured))
        if (!normal(line).empty())
            lines.push_back(normal(line));
    return lines;
}

} // namespace

void BoardJob::startDownload() {
    QFile file(o_.args[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        finish(Status::File, QStringLiteral("download: cannot read %1").arg(o_.args[0]));
        return;
    }
    const std::string content = file.readAll().toStdString();
    program_ = core::readProgramLines(content); // its size was checked with the options
    for (std::string& line : program_)
        line = core::stripLeadingZeros(std::move(line));
    download_.emplace(program_);
    setProgress(Phase::Download, "download", 0, download_->count(), Unit::Lines);
    carryOutDownload(download_->start());
}

void BoardJob::carryOutDownload(const core::Step& step) {
    if (step.send.empty()) { // a program without lines
        finish(Status::Done, QStringLiteral("download: %1 has no lines").arg(o_.args[0]));
        return;
    }
    result_.lines = sent_++;                            // the lines the board has taken
    lastLineOut_ = step.outcome == core::Outcome::Done; // done once the board takes it too
    advance(result_.lines);
    sendLine(bytes(step.send), Kind::Program, numbered(step.send),
             [this](const QByteArray& reply) { return downloadAnswer(reply); });
}

BoardJob::Verdict BoardJob::downloadAnswer(const QByteArray& reply) {
    const auto refused = [&] {
        fail(Status::Refused,
             QStringLiteral("%1 refused by %2: %3").arg(awaiting(), where(), shown(out_, reply)));
        return Verdict::Ended;
    };
    if (lastLineOut_) {
        switch (core::classify(view(reply), {core::Reply::Error, core::Reply::Ok})) {
        case core::Reply::Error:
            return refused();
        case core::Reply::Ok:
            next_ = [this] {
                result_.lines = int(program_.size());
                advance(result_.lines);
                if (o_.verify)
                    startSave(false);
                else
                    finish(
                        Status::Done,
                        QStringLiteral("download: %1 lines to %2").arg(result_.lines).arg(where()));
            };
            return Verdict::Answered;
        default:
            return Verdict::More; // not the answer yet
        }
    }
    const core::Step step = download_->onReply(view(reply), coreLink());
    if (step.outcome == core::Outcome::Failed)
        return refused();
    if (step.send.empty())
        return Verdict::More; // other text: the line is still waiting for its answer
    next_ = [this, step] { carryOutDownload(step); };
    return Verdict::Answered;
}

// save, and the listing behind download --verify.
void BoardJob::startSave(bool toFile) {
    toFile_ = toFile;
    verifying_ = !toFile;
    captured_.clear();
    if (toFile) {
        if (!openLocal(o_.args[0]))
            return;
        result_.lines = 0;
    }
    setProgress(Phase::Listing, toFile ? "save" : "verify", 0, -1, Unit::Bytes);
    sendLine(bytes(core::ListingCapture::command(coreLink())), Kind::Listing, true,
             [this](const QByteArray& reply) { return saveAnswer(reply); });
}

BoardJob::Verdict BoardJob::saveAnswer(const QByteArray& reply) {
    // The listing asked for again: it starts afresh at the first answer since, so that
    // until then what came stays (and is kept, if nothing more comes).
    if (std::exchange(line_.fresh, false)) {
        captured_.clear();
        result_.lines = 0;
        result_.bytes = 0;
        if (local_ && !local_->restart()) {
            fail(
                Status::File,
                QStringLiteral("cannot write %1: %2").arg(local_->target(), local_->errorString()));
            return Verdict::Ended;
        }
    }
    const core::Step step = capture_.onReply(view(reply), coreLink());
    if (!writeLocal(step.store))
        return Verdict::Ended;
    captured_ += step.store;
    advance(qint64(captured_.size()));
    if (toFile_) {
        result_.bytes += qint64(step.store.size());
        result_.lines += int(std::count(step.store.begin(), step.store.end(), '\n'));
    }
    if (step.outcome == core::Outcome::Denied) {
        fail(Status::Denied, QStringLiteral("%1 asks for a login").arg(where()));
        return Verdict::Ended;
    }
    if (step.outcome != core::Outcome::Done)
        return Verdict::More;
    next_ = [this] {
        if (verifying_)
            verifyListing();
        else
            confirmListing();
    };
    return Verdict::Answered;
}

void BoardJob::commitSave() {
    const QString target = local_->target();
    if (commitLocal())
        finish(Status::Done,
               QStringLiteral("save: %1 lines from %2 into %3%4")
                   .arg(result_.lines)
                   .arg(where(), target, o_.verify ? QStringLiteral(", verified") : QString()));
}

// Over UDP a lost reply of a listing cannot be told from a shorter program: the reading
// is only a shorter one. So a save reads the listing again and again, and takes the
// longest reading once it has come kReadings times (kVerifiedReadings with --verify); a
// shorter reading is one that lost a part. An empty or shrunk program is believed only
// when every reading says so: with a tenth of the replies lost, a one-reply listing lost
// five times over is 1 save in 100,000.
void BoardJob::confirmListing() {
    const int needed = o_.verify ? kVerifiedReadings : kReadings;
    ++listingReads_;
    if (!longestListing_ || captured_.size() > longestListing_->size()) {
        longestListing_ = captured_;
        agreed_ = 1;
    } else if (captured_ == *longestListing_) {
        ++agreed_;
    }
    if (agreed_ >= needed && captured_ == *longestListing_) {
        // A loss that repeats with the readings (every other reply) empties every one of
        // them alike: a file the operator has is never emptied by a listing of nothing.
        if (captured_.empty() && local_->targetExisted() && QFileInfo(local_->target()).size() > 0)
            finish(Status::Mismatch, QStringLiteral("save: %1 listed no program %2 times; %3 left "
                                                    "as it was (save into a new file to keep an "
                                                    "empty listing)")
                                         .arg(where())
                                         .arg(agreed_)
                                         .arg(local_->target()));
        else
            commitSave();
        return;
    }
    if (listingReads_ >= needed * (o_.retries + 1)) {
        finish(Status::Mismatch,
               QStringLiteral("save: the listing of %1 read %2 times, the longest reading only "
                              "%3 times of the %4 needed; %5 left as it was")
                   .arg(where())
                   .arg(listingReads_)
                   .arg(agreed_)
                   .arg(needed)
                   .arg(local_->target()));
        return;
    }
    captured_.clear();
    result_.lines = 0;
    result_.bytes = 0;
    if (!local_->restart()) {
        fail(Status::File,
             QStringLiteral("cannot write %1: %2").arg(local_->target(), local_->errorString()));
        return;
    }
    setProgress(Phase::Listing, "save", 0, -1, Unit::Bytes);
    sendLine(bytes(core::ListingCapture::command(coreLink())), Kind::Listing, true,
             [this](const QByteArray& reply) { return saveAnswer(reply); });
}

void BoardJob::verifyListing() {
    const std::vector<std::string> expected = expectedListing(program_);
    const std::vector<std::string> got = listingLines(captured_);
    for (std::size_t i = 0; i < std::max(expected.size(), got.size()); ++i) {
        const std::string want = i < expected.size() ? expected[i] : "(nothing)";
        const std::string has = i < got.size() ? got[i] : "(nothing)";
        if (want != has) {
            // A download adds to what the board holds: lines the file does not have are
            // most often an older program's.
            const bool older = i >= expected.size() && !o_.erase;
            finish(Status::Mismatch,
                   QStringLiteral("download: line %1 of the listing of %2 differs: sent \"%3\", "
                                  "listed \"%4\"%5")
                       .arg(i + 1)
                       .arg(where(), visible(out_.text(bytes(want))),
                            visible(out_.text(bytes(has))),
                            older ? QStringLiteral(" (the board held a program before; "
                                                   "download --new erases it first)")
                                  : QString()));
            return;
        }
    }
    finish(Status::Done,
           QStringLiteral("download: %1 lines to %2, verified").arg(result_.lines).arg(where()));
}

} // namespace vantor::cli
