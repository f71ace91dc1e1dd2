#include "platform/System.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/random.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/LanguageChoice.h"

namespace {

// strerror_r comes in two flavours; overloading on its result picks the right reading
// whichever one the C library declares.
[[maybe_unused]] const char* strerrorResult(int rc, const char* buffer) { return rc == 0 ? buffer : nullptr; }
[[maybe_unused]] const char* strerrorResult(const char* text, const char*) { return text; }

bool fillFromGetrandom(unsigned char* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t got = getrandom(out + done, size - done, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

bool fillFromUrandom(unsigned char* out, size_t size) {
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < size) {
        ssize_t got = read(fd, out + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    close(fd);
    return done == size;
}

// Last resort when the kernel gives no randomness at all: not secret, but still unique
// enough to name a file, which is all a UUID is used for here.
void fillFromClock(unsigned char* out, size_t size) {
    static std::atomic<uint64_t> counter{0};
    auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::seed_seq seed{static_cast<uint64_t>(now), static_cast<uint64_t>(getpid()), counter.fetch_add(1),
                       static_cast<uint64_t>(reinterpret_cast<uintptr_t>(out))};
    std::mt19937_64 engine(seed);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(engine());
}

}  // namespace

namespace {

// The locales whose messages speak our languages, made once and kept for the process's life
// (a locale_t is only read once made, so threads may share them). The C library translates its
// error texts through its message catalogs, found by the locale's language. The whole locale is
// taken, not only its messages: the translation then arrives as UTF-8 rather than turned into
// ASCII for the C locale's character type.
class MessageLocales {
public:
    MessageLocales() {
        english_ = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        const std::pair<std::string_view, std::vector<const char*>> candidates[] = {
            {"nl", {"nl_NL.UTF-8", "nl_BE.UTF-8"}},
            {"fr", {"fr_FR.UTF-8", "fr_BE.UTF-8", "fr_CA.UTF-8", "fr_CH.UTF-8"}},
            {"de", {"de_DE.UTF-8", "de_AT.UTF-8", "de_CH.UTF-8"}},
            {"es", {"es_ES.UTF-8", "es_MX.UTF-8", "es_AR.UTF-8"}},
        };
        for (const auto& [language, names] : candidates) {
            for (const char* name : names) {
                locale_t made = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
                if (!made) continue;
                byLanguage_.emplace_back(language, made);
                break;
            }
        }
    }

    ~MessageLocales() {
        for (const auto& entry : byLanguage_) freelocale(entry.second);
        if (english_) freelocale(english_);
    }
    MessageLocales(const MessageLocales&) = delete;
    MessageLocales& operator=(const MessageLocales&) = delete;

    // The locale for `language`, or none when the system has no locale of it.
    locale_t find(std::string_view language) const {
        for (const auto& [code, made] : byLanguage_)
            if (code == language) return made;
        return static_cast<locale_t>(nullptr);
    }
    locale_t english() const { return english_; }

private:
    locale_t english_;
    std::vector<std::pair<std::string_view, locale_t>> byLanguage_;
};

const MessageLocales& messageLocales() {
    static const MessageLocales locales;
    return locales;
}

// The C library's lookup lets LANGUAGE overrule the locale's own language. When the two differ,
// its answer could be in a third language; English is better than that.
bool languageVariableAgrees(std::string_view language) {
    const char* variable = std::getenv("LANGUAGE");
    if (!variable || !*variable) return true;
    std::string_view first(variable);
    first = first.substr(0, first.find_first_of(":_-.@"));
    return first == language;
}

std::string englishText(int errnum) {
    char buffer[256] = {0};
    const char* text = nullptr;
    if (locale_t english = messageLocales().english()) text = strerror_l(errnum, english);
    if (!text || !*text) text = strerrorResult(strerror_r(errnum, buffer, sizeof buffer), buffer);
    if (text && *text) return text;
    return "Unknown error " + std::to_string(errnum);
}

}  // namespace

std::string QVStrErrorIn(int errnum, const std::string& language) {
    if (language == "en" || !languageVariableAgrees(language)) return englishText(errnum);
    locale_t locale = messageLocales().find(language);
    if (!locale) return englishText(errnum);
    // Copied at once: the text of an unknown number is in a buffer of this thread's.
    const char* text = strerror_l(errnum, locale);
    return text && *text ? std::string(text) : englishText(errnum);
}

std::string QVStrError(int errnum) { return QVStrErrorIn(errnum, QVResolveLanguage()); }

std::string QVNewUUIDString() {
    unsigned char bytes[16];
    if (!fillFromGetrandom(bytes, sizeof bytes) && !fillFromUrandom(bytes, sizeof bytes))
        fillFromClock(bytes, sizeof bytes);
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant

    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (size_t i = 0; i < sizeof bytes; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

std::string QVISO8601String(std::chrono::system_clock::time_point time) {
    auto seconds = std::chrono::floor<std::chrono::seconds>(time).time_since_epoch().count();
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (!gmtime_r(&t, &parts)) return {};
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900,
                          parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::string QVISO8601Now() { return QVISO8601String(std::chrono::system_clock::now()); }

namespace {

// The unquoted value of `key` in an os-release file, or empty.
std::string osReleaseValue(const char* file, const std::string& key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + "=", 0) != 0) continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        std::string plain;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            plain += value[i];
        }
        return plain;
    }
    return {};
}

}  // namespace

std::string QVOperatingSystemName() {
    for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::string name = osReleaseValue(file, "PRETTY_NAME");
        if (!name.empty()) return name;
    }
    utsname system{};
    if (uname(&system) != 0) return "Linux";
    return std::string(system.sysname) + " " + system.release;
}

std::string QVMachineArchitecture() {
    utsname system{};
    if (uname(&system) != 0) return {};
    return system.machine;
}
