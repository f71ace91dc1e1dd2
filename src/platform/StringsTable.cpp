#include "platform/StringsTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <tuple>

#include "platform/FileDescriptor.h"
#include "platform/Unicode.h"

// A deliberately small reader for the subset of gettext .po that our tables use:
//   - comments (#...), including flags (#, fuzzy) and obsolete entries (#~), which are comments;
//   - msgctxt / msgid / msgstr, each followed by one or more string literals, on the keyword's
//     line and on continuation lines that start with '"';
//   - C escapes \n \t \r \" \\ \' \? \a \b \f \v, octal \ooo and hex \xHH.
// Entries with a msgctxt are read and checked but left out: the lookup has no context, so such
// an entry could never be reached. Plural forms (msgid_plural, msgstr[n]) are refused as a
// whole, because nothing in the program asks for a plural and a half-understood table is worse
// than none. Every failure answers nothing, so the caller falls back to the Dutch key.

namespace {

// Our own tables are a few tens of kilobytes; anything far larger is not a strings table.
constexpr off_t kMaxTableBytes = 16 * 1024 * 1024;

// Well-formed UTF-8 without NUL (a table is text, and its texts end up in C strings such as
// menu titles).
bool isCleanUtf8(std::string_view s) { return s.find('\0') == std::string_view::npos && QVIsValidUTF8(s); }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    return s;
}

bool isOctal(char c) { return c >= '0' && c <= '7'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads one escape after the backslash at the front of `rest`; appends its byte.
bool readEscape(std::string_view& rest, std::string& out) {
    if (rest.empty()) return false;
    char c = rest.front();
    rest.remove_prefix(1);
    switch (c) {
    case 'n': out += '\n'; return true;
    case 't': out += '\t'; return true;
    case 'r': out += '\r'; return true;
    case '"': out += '"'; return true;
    case '\\': out += '\\'; return true;
    case '\'': out += '\''; return true;
    case '?': out += '?'; return true;
    case 'a': out += '\a'; return true;
    case 'b': out += '\b'; return true;
    case 'f': out += '\f'; return true;
    case 'v': out += '\v'; return true;
    default: break;
    }
    if (isOctal(c)) {
        unsigned value = static_cast<unsigned>(c - '0');
        for (int k = 0; k < 2 && !rest.empty() && isOctal(rest.front()); ++k) {
            value = value * 8 + static_cast<unsigned>(rest.front() - '0');
            rest.remove_prefix(1);
        }
        if (value > 0xFF) return false;
        out += static_cast<char>(value);
        return true;
    }
    if (c == 'x') {
        int value = 0;
        int digits = 0;
        while (digits < 2 && !rest.empty() && hexValue(rest.front()) >= 0) {
            value = value * 16 + hexValue(rest.front());
            rest.remove_prefix(1);
            ++digits;
        }
        if (digits == 0) return false;
        out += static_cast<char>(value);
        return true;
    }
    return false;
}

// Reads the string literals of one line (`line` starts at the first '"') and appends their
// decoded text. Only blanks may stand between and after them.
bool readLiterals(std::string_view line, std::string& out) {
    if (line.empty() || line.front() != '"') return false;
    while (!line.empty()) {
        if (line.front() != '"') return false;
        line.remove_prefix(1);
        for (;;) {
            if (line.empty()) return false;  // the line ended inside the literal
            char c = line.front();
            line.remove_prefix(1);
            if (c == '"') break;
            if (c == '\\') {
                if (!readEscape(line, out)) return false;
                continue;
            }
            // A raw control character (other than tab) inside a literal means a damaged file.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return false;
            out += c;
        }
        line = trimLeft(line);
    }
    return true;
}

// The charset a header entry declares, or empty when it names none.
std::string declaredCharset(std::string_view header) {
    constexpr std::string_view marker = "charset=";
    size_t at = header.find(marker);
    if (at == std::string_view::npos) return {};
    std::string_view rest = header.substr(at + marker.size());
    size_t end = 0;
    while (end < rest.size() && !isBlank(rest[end]) && rest[end] != '\n' && rest[end] != ';') ++end;
    std::string charset(rest.substr(0, end));
    for (char& c : charset) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return charset;
}

class PoReader {
public:
    std::optional<QVStringsTable> read(std::string_view text) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        if (!isCleanUtf8(text)) return std::nullopt;
        while (!text.empty()) {
            size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            if (!readLine(line)) return std::nullopt;
        }
        if (state_ == State::Context || state_ == State::Id) return std::nullopt;
        if (state_ == State::Str && !finishEntry()) return std::nullopt;
        return std::move(table_);
    }

private:
    enum class State { Between, Context, Id, Str };
    enum class Field { None, Context, Id, Str };

    bool readLine(std::string_view line) {
        line = trimLeft(line);
        if (line.empty()) return true;
        if (line.front() == '#') return readComment(line);
        if (line.front() == '"') {
            if (field_ == Field::None) return false;
            return readLiterals(line, currentField());
        }
        return readKeyword(line);
    }

    bool readComment(std::string_view line) {
        // A comment may only precede an entry; one between msgid and msgstr is a broken entry.
        if (state_ == State::Context || state_ == State::Id) return false;
        if (state_ == State::Str && !finishEntry()) return false;
        if (line.substr(0, 2) == "#," && hasFuzzyFlag(line.substr(2))) fuzzy_ = true;
        return true;
    }

    static bool hasFuzzyFlag(std::string_view flags) {
        while (!flags.empty()) {
            size_t comma = flags.find(',');
            std::string_view flag = trimLeft(flags.substr(0, comma));
            while (!flag.empty() && isBlank(flag.back())) flag.remove_suffix(1);
            if (flag == "fuzzy") return true;
            if (comma == std::string_view::npos) break;
            flags.remove_prefix(comma + 1);
        }
        return false;
    }

    bool readKeyword(std::string_view line) {
        size_t end = 0;
        while (end < line.size() && line[end] != '"' && !isBlank(line[end])) ++end;
        std::string_view keyword = line.substr(0, end);
        std::string_view rest = trimLeft(line.substr(end));
        if (keyword == "msgctxt") {
            if (state_ == State::Context || state_ == State::Id) return false;
            if (state_ == State::Str && !finishEntry()) return false;
            state_ = State::Context;
            field_ = Field::Context;
            hasContext_ = true;
        } else if (keyword == "msgid") {
            if (state_ == State::Id) return false;
            if (state_ == State::Str && !finishEntry()) return false;
            state_ = State::Id;
            field_ = Field::Id;
        } else if (keyword == "msgstr") {
            if (state_ != State::Id) return false;
            state_ = State::Str;
            field_ = Field::Str;
        } else {
            // msgid_plural, msgstr[n] and anything unknown.
            return false;
        }
        return readLiterals(rest, currentField());
    }

    std::string& currentField() {
        switch (field_) {
        case Field::Context: return context_;
        case Field::Id: return id_;
        default: return str_;
        }
    }

    bool finishEntry() {
        bool ok = acceptEntry();
        context_.clear();
        id_.clear();
        str_.clear();
        hasContext_ = false;
        fuzzy_ = false;
        state_ = State::Between;
        field_ = Field::None;
        return ok;
    }

    bool acceptEntry() {
        if (!isCleanUtf8(context_) || !isCleanUtf8(id_) || !isCleanUtf8(str_)) return false;
        if (!seen_.emplace(hasContext_, context_, id_).second) return false;
        if (hasContext_) return true;
        if (id_.empty()) {
            // The header: only its charset matters, since we read the bytes as UTF-8.
            std::string charset = declaredCharset(str_);
            return charset.empty() || charset == "utf-8" || charset == "utf8" || charset == "charset";
        }
        if (fuzzy_ || str_.empty()) return true;
        table_.emplace(std::move(id_), std::move(str_));
        return true;
    }

    State state_ = State::Between;
    Field field_ = Field::None;
    std::string context_;
    std::string id_;
    std::string str_;
    bool hasContext_ = false;
    bool fuzzy_ = false;
    std::set<std::tuple<bool, std::string, std::string>> seen_;
    QVStringsTable table_;
};

}  // namespace

std::optional<QVStringsTable> QVParseStringsTable(std::string_view text) { return PoReader().read(text); }

std::optional<QVStringsTable> QVLoadStringsTable(const std::filesystem::path& path) {
    QVFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) return std::nullopt;
    // Only a plain file: a fifo or a device would block or never end.
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    if (info.st_size > kMaxTableBytes) return std::nullopt;

    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::read(file.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;  // the file shrank while we read it
        done += static_cast<size_t>(n);
    }
    text.resize(done);
    return QVParseStringsTable(text);
}
