#pragma once
// The one small formatter for translated message formats. A format is translated first and
// filled afterwards; it knows exactly four directives:
//   %@   the next argument as a string
//   %lu  the next argument as an unsigned number
//   %s   the next argument as a C string (the system's error text)
//   %%   a single percent sign
// Arguments are taken strictly in order. A directive without a matching argument, or an
// argument of another kind than the directive asks for, prints nothing for it; any other
// percent sequence is copied as it stands. A translated format can therefore never crash
// the program, whatever its table holds.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

class QVFormatArg {
public:
    QVFormatArg(std::string_view s) : value_(std::string(s)) {}
    QVFormatArg(const std::string& s) : value_(s) {}
    QVFormatArg(const char* s) : value_(CString{s ? s : ""}) {}
    QVFormatArg(unsigned long n) : value_(n) {}
    QVFormatArg(unsigned int n) : value_(static_cast<unsigned long>(n)) {}
    QVFormatArg(unsigned long long n) : value_(static_cast<unsigned long>(n)) {}

    struct CString {
        std::string text;
    };
    const std::variant<std::string, unsigned long, CString>& value() const { return value_; }

private:
    std::variant<std::string, unsigned long, CString> value_;
};

std::string QVFormat(std::string_view format, std::initializer_list<QVFormatArg> args = {});
