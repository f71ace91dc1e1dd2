#include "platform/Format.h"

#include <vector>

std::string QVFormat(std::string_view format, std::initializer_list<QVFormatArg> args) {
    std::vector<const QVFormatArg*> queue;
    for (const QVFormatArg& a : args) queue.push_back(&a);
    size_t next = 0;
    auto take = [&]() -> const QVFormatArg* { return next < queue.size() ? queue[next++] : nullptr; };

    std::string out;
    out.reserve(format.size() + 32);
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        std::string_view rest = format.substr(i + 1);
        if (rest.front() == '%') {
            out += '%';
            i += 1;
        } else if (rest.front() == '@') {
            if (const QVFormatArg* a = take()) {
                if (auto* s = std::get_if<std::string>(&a->value()))
                    out += *s;
                else if (auto* cs = std::get_if<QVFormatArg::CString>(&a->value()))
                    out += cs->text;
            }
            i += 1;
        } else if (rest.front() == 's') {
            if (const QVFormatArg* a = take()) {
                if (auto* cs = std::get_if<QVFormatArg::CString>(&a->value()))
                    out += cs->text;
                else if (auto* s = std::get_if<std::string>(&a->value()))
                    out += *s;
            }
            i += 1;
        } else if (rest.substr(0, 2) == "lu") {
            if (const QVFormatArg* a = take()) {
                if (auto* n = std::get_if<unsigned long>(&a->value())) out += std::to_string(*n);
            }
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}
