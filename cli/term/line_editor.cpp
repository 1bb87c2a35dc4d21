#include "term/line_editor.h"
#include "term/term_text.h"

#include <histedit.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace vantor::cli {

namespace {

// The terminal as it was before raw mode, for restoreTerminal() (a signal handler too).
termios original{};
int originalFd = -1;

// Longer than any escape sequence a key sends: a run of parameters this long is taken as
// it is rather than waited on.
constexpr std::size_t kLongestSequence = 32;

// The bytes of the character at the front of `bytes` (UTF-8 as the locale has it); 0 while
// it is not whole. A byte that starts no character is one of its own.
std::size_t charLength(std::string_view bytes) {
    std::mbstate_t state{};
    wchar_t c = 0;
    const std::size_t n = std::mbrtowc(&c, bytes.data(), bytes.size(), &state);
    if (n == std::size_t(-2))
        return 0;
    return n == std::size_t(-1) || n == 0 ? 1 : n;
}

// The bytes of the key at the front of `bytes`: a character, ESC [ parameters and a final
// byte, ESC O and a byte, or ESC and a character; 0 while it is not whole.
std::size_t keyLength(std::string_view bytes) {
    if (bytes.empty())
        return 0;
    if (bytes[0] != '\x1b')
        return charLength(bytes);
    if (bytes.size() < 2)
        return 0;
    if (bytes[1] == '[') {
        for (std::size_t at = 2; at < bytes.size(); ++at) {
            const auto b = static_cast<unsigned char>(bytes[at]);
            if (b >= 0x40 && b <= 0x7E)
                return at + 1;
            if (b < 0x20 || b > 0x7E || at == kLongestSequence)
                return at; // no sequence after all: it ends before this byte
        }
        return 0;
    }
    if (bytes[1] == 'O')
        return bytes.size() < 3 ? 0 : 3;
    const std::size_t n = charLength(bytes.substr(1));
    return n == 0 ? 0 : n + 1;
}

} // namespace

LineEditor::LineEditor(int in, core::CommandHistory& history, char prefix)
    : in_(in), history_(history) {
    if (::tcgetattr(in_, &original) == 0)
        originalFd = in_;
    el_ = el_init("vantor", stdin, stdout, stderr);
    if (!el_)
        return;
    el_set(el_, EL_CLIENTDATA, this);
    el_set(el_, EL_EDITOR, "emacs");
    el_set(el_, EL_PROMPT, &LineEditor::prompt);
    el_set(el_, EL_GETCFN, &LineEditor::onGetc);
    // Ctrl-C is a key here (it clears the line or abandons a transfer), not a signal.
    const char* setty[] = {"setty", "-d", "-isig", nullptr};
    el_parse(el_, 3, setty);
    bindKeys(prefix);
    el_set(el_, EL_UNBUFFERED, 1); // raw mode, and the line drawn
}

LineEditor::~LineEditor() {
    if (!el_)
        return;
    if (!hidden_)
        eraseShown();
    std::fflush(stdout);
    el_set(el_, EL_UNBUFFERED, 0);
    el_end(el_);
    restoreTerminal();
}

void LineEditor::restoreTerminal() {
    if (originalFd >= 0)
        ::tcsetattr(originalFd, TCSANOW, &original);
}

void LineEditor::bindKeys(char prefix) {
    struct Binding {
        const char* name;
        unsigned char (*fn)(EditLine*, int);
        std::vector<std::string> keys;
    };
    const std::string prefixKey = {'^', char(prefix ^ 0x40)};
    const Binding bindings[] = {
        {"vantor-enter", &onEnter, {"^M", "^J"}},
        {"vantor-up", &onUp, {"\\e[A", "\\eOA", "^P"}},
        {"vantor-down", &onDown, {"\\e[B", "\\eOB", "^N"}},
        {"vantor-left", &onEdit, {"\\e[D", "\\eOD", "^B"}},
        {"vantor-right", &onEdit, {"\\e[C", "\\eOC", "^F"}},
        {"vantor-backspace", &onEdit, {"^?", "^H"}},
        {"vantor-delete", &onEdit, {"\\e[3~"}},
        {"vantor-interrupt", &onInterrupt, {"^C"}},
        {"vantor-eof", &onEndOfFile, {"^D"}},
        {"vantor-prefix", &onPrefix, {prefixKey}},
        {"vantor-complete", &onTab, {"^I"}},
    };
    for (const Binding& b : bindings) {
        el_set(el_, EL_ADDFN, b.name, b.name, b.fn);
        for (const std::string& key : b.keys)
            el_set(el_, EL_BIND, key.c_str(), b.name, nullptr);
    }
}

// libedit's reading: the key it is handed and nothing more, so that it never waits. Asked
// past the key (after a sequence it does not know), it is told the input ended, and gives
// up until the next key.
int LineEditor::onGetc(EditLine* el, wchar_t* c) {
    LineEditor& self = of(el);
    if (self.taken_ >= self.keyEnd_)
        return 0;
    const std::string_view rest(self.input_.data() + self.taken_, self.keyEnd_ - self.taken_);
    std::mbstate_t state{};
    const std::size_t n = std::mbrtowc(c, rest.data(), rest.size(), &state);
    if (n == std::size_t(-1) || n == std::size_t(-2) || n == 0) {
        *c = static_cast<unsigned char>(rest[0]);
        ++self.taken_;
    } else {
        self.taken_ += n;
    }
    return 1;
}

LineEditor& LineEditor::of(EditLine* el) {
    void* self = nullptr;
    el_get(el, EL_CLIENTDATA, &self);
    return *static_cast<LineEditor*>(self);
}

const char* LineEditor::prompt(EditLine* el) {
    return of(el).prompt_.c_str();
}

std::string LineEditor::text() const {
    const LineInfo* line = el_line(el_);
    return {line->buffer, line->lastchar};
}

void LineEditor::replace(const std::string& text) {
    el_cursor(el_, INT_MAX);
    el_deletestr(el_, el_cursor(el_, 0));
    if (!text.empty())
        el_insertstr(el_, text.c_str());
}

unsigned char LineEditor::onEnter(EditLine* el, int) {
    LineEditor& self = of(el);
    std::string line = self.text();
    if (self.asking_) {
        self.asking_ = false;
        self.prompt_ = "> ";
        self.replace(self.saved_);
        self.events_.push_back({Key::Answer, std::move(line)});
    } else {
        self.history_.enter(line);
        self.replace({});
        self.events_.push_back({Key::Line, std::move(line)});
    }
    return CC_REFRESH;
}

unsigned char LineEditor::onUp(EditLine* el, int) {
    return of(el).recall(true);
}

unsigned char LineEditor::onDown(EditLine* el, int) {
    return of(el).recall(false);
}

// Up or Down: the history says what the line shows now, or to leave it.
unsigned char LineEditor::recall(bool older) {
    if (asking_)
        return CC_NORM;
    if (const auto line = older ? history_.up() : history_.down())
        replace(*line);
    return CC_REFRESH;
}

// Left, Right, Backspace and Delete: a recalled line is a new one once they are used.
unsigned char LineEditor::onEdit(EditLine* el, int c) {
    LineEditor& self = of(el);
    if (!self.asking_)
        self.history_.edited();
    const LineInfo* line = el_line(el);
    switch (c) {
    case 'D': // Left, as \e[D or \eOD
    case 2:
        el_cursor(el, -1);
        return CC_CURSOR;
    case 'C': // Right
    case 6:
        el_cursor(el, 1);
        return CC_CURSOR;
    case '~': // Delete
    case 4:
        if (line->cursor == line->lastchar)
            return CC_NORM;
        el_cursor(el, 1);
        break;
    default: // Backspace
        break;
    }
    if (el_line(el)->cursor > el_line(el)->buffer)
        el_deletestr(el, 1);
    return CC_REFRESH;
}

unsigned char LineEditor::onInterrupt(EditLine* el, int) {
    LineEditor& self = of(el);
    if (self.asking_) {
        self.asking_ = false;
        self.prompt_ = "> ";
        self.replace(self.saved_);
        self.events_.push_back({Key::Cancel, {}});
    } else {
        self.replace({});
        self.events_.push_back({Key::Interrupt, {}});
    }
    return CC_REFRESH;
}

unsigned char LineEditor::onEndOfFile(EditLine* el, int c) {
    LineEditor& self = of(el);
    if (!self.asking_ && self.text().empty()) {
        self.events_.push_back({Key::Quit, {}});
        self.stop_ = true;
        return CC_NORM;
    }
    return onEdit(el, c); // as Delete, the way shells have it
}

unsigned char LineEditor::onPrefix(EditLine* el, int) {
    LineEditor& self = of(el);
    self.events_.push_back({Key::Prefix, {}});
    self.stop_ = true; // the next byte is the prefix command's, not the editor's
    return CC_NORM;
}

unsigned char LineEditor::onTab(EditLine* el, int) {
    LineEditor& self = of(el);
    if (!self.asking_ || !self.files_)
        return CC_NORM;
    self.complete();
    return CC_REFRESH;
}

void LineEditor::complete() {
    const std::string typed = text();
    const std::size_t slash = typed.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : typed.substr(0, slash + 1);
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
    const Completion completion = completeName(typed, names);
    el_cursor(el_, INT_MAX);
    if (!completion.insert.empty())
        el_insertstr(el_, completion.insert.c_str());
    for (const std::string& name : completion.others)
        candidates_ += name + "  ";
    if (!candidates_.empty())
        candidates_ += "\r\n";
}

void LineEditor::receive() {
    pollfd p{in_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return;
    char buffer[4096];
    const ssize_t n = ::read(in_, buffer, sizeof buffer);
    if (n > 0)
        input_.append(buffer, std::size_t(n));
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        gone_ = true;
}

bool LineEditor::hasKey() const {
    return keyLength(input_) > 0;
}

bool LineEditor::partialKey() const {
    return !input_.empty() && keyLength(input_) == 0;
}

void LineEditor::dropPartialKey() {
    if (partialKey())
        input_.clear(); // a key cut short runs to the end of what came
}

std::vector<LineEditor::Event> LineEditor::read() {
    stop_ = false;
    while (!stop_ && (keyEnd_ = keyLength(input_)) > 0) {
        taken_ = 0;
        int count = 0;
        el_gets(el_, &count);
        input_.erase(0, std::max<std::size_t>(taken_, 1)); // a key it skips is gone too
        keyEnd_ = 0;
        if (!candidates_.empty())
            print(std::exchange(candidates_, {}));
    }
    return std::exchange(events_, {});
}

std::string LineEditor::takeKey() {
    const std::size_t n = keyLength(input_);
    std::string key = input_.substr(0, n);
    input_.erase(0, n);
    return key;
}

void LineEditor::resized() {
    el_resize(el_);
    if (!hidden_)
        el_set(el_, EL_REFRESH);
    std::fflush(stdout);
}

// Back to where the prompt starts, and everything from there erased.
void LineEditor::eraseShown() {
    int columns = 80;
    el_get(el_, EL_GETTC, "co", &columns);
    const long rows = columns > 0 ? cursorColumn(columns) / columns : 0;
    if (rows > 0)
        std::fprintf(stdout, "\033[%ldA", rows);
    std::fputs("\r\033[J", stdout);
}

// Where the cursor is, in columns from the start of the prompt, with the line wrapped as
// the terminal wraps it: a letter may take several bytes, and a wide one two columns.
long LineEditor::cursorColumn(int columns) const {
    const LineInfoW* line = el_wline(el_);
    long at = long(prompt_.size()); // the prompts are ASCII
    for (const wchar_t* c = line->buffer; c < line->cursor; ++c) {
        const int shown = ::wcwidth(*c);
        const int width = shown < 0 ? 2 : shown; // a control character shows as ^X
        if (at % columns + width > columns)
            at += columns - at % columns; // what does not fit starts the next row
        at += width;
    }
    return at;
}

void LineEditor::print(std::string_view text) {
    if (!hidden_)
        eraseShown();
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (!hidden_)
        el_set(el_, EL_REFRESH);
    std::fflush(stdout);
}

void LineEditor::ask(const std::string& question, bool files) {
    if (!hidden_)
        eraseShown();
    saved_ = text();
    asking_ = true;
    files_ = files;
    prompt_ = question;
    replace({});
    if (!hidden_)
        el_set(el_, EL_REFRESH);
    std::fflush(stdout);
}

void LineEditor::hide() {
    if (!std::exchange(hidden_, true))
        eraseShown();
    std::fflush(stdout);
}

void LineEditor::show() {
    if (std::exchange(hidden_, false))
        el_set(el_, EL_REFRESH);
    std::fflush(stdout);
}

} // namespace vantor::cli
