#include "platform/pdf/detail/Value.h"

#include "platform/Unicode.h"
#include "platform/pdf/detail/Names.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace qvpdf::detail {

Value Value::boolean(bool b) {
    Value v;
    v.kind_ = Kind::Bool;
    v.int_ = b ? 1 : 0;
    return v;
}

Value Value::integer(long long n) {
    Value v;
    v.kind_ = Kind::Integer;
    v.int_ = n;
    return v;
}

Value Value::real(double d) {
    Value v;
    v.kind_ = Kind::Real;
    v.real_ = d;
    return v;
}

Value Value::name(std::string n) {
    Value v;
    v.kind_ = Kind::Name;
    v.text_ = std::move(n);
    return v;
}

Value Value::string(std::string bytes) {
    Value v;
    v.kind_ = Kind::String;
    v.text_ = std::move(bytes);
    return v;
}

Value Value::array(std::vector<Value> items) {
    Value v;
    v.kind_ = Kind::Array;
    v.items_ = std::move(items);
    return v;
}

Value Value::dict() {
    Value v;
    v.kind_ = Kind::Dict;
    return v;
}

Value Value::newRef(int index) {
    Value v;
    v.kind_ = Kind::NewRef;
    v.int_ = index;
    return v;
}

Value Value::handle(QPDFObjectHandle h) {
    Value v;
    v.kind_ = Kind::Handle;
    v.handle_ = std::move(h);
    return v;
}

Value Value::raw(std::string syntax) {
    Value v;
    v.kind_ = Kind::Raw;
    v.text_ = std::move(syntax);
    return v;
}

Value Value::rect(const double r[4]) { return numbers(r, 4); }

Value Value::numbers(const double* values, int count) {
    Value v = array();
    for (int i = 0; i < count; ++i) v.items_.push_back(real(values[i]));
    return v;
}

Value Value::dictFrom(QPDFObjectHandle templateDict) {
    Value v = dict();
    if (!templateDict.isDictionary()) return v;
    for (auto& [key, item] : templateDict.ditems()) {
        if (item.isNull()) continue;
        v.entries_.emplace_back(key.substr(1), handle(item));
    }
    return v;
}

void Value::set(const std::string& key, Value v) {
    if (Value* existing = find(key)) {
        *existing = std::move(v);
        return;
    }
    entries_.emplace_back(key, std::move(v));
}

void Value::remove(const std::string& key) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->first == key) {
            entries_.erase(it);
            return;
        }
    }
}

const Value* Value::find(const std::string& key) const {
    for (const auto& [k, v] : entries_)
        if (k == key) return &v;
    return nullptr;
}

Value* Value::find(const std::string& key) {
    for (auto& [k, v] : entries_)
        if (k == key) return &v;
    return nullptr;
}

void appendInt(std::string& out, long long n) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, n);
    out.append(buf, res.ptr);
}

void appendReal(std::string& out, double d) {
    if (!std::isfinite(d)) d = 0;
    double rounded = std::round(d);
    if (std::fabs(d - rounded) < 1e-9 && std::fabs(rounded) < 1e15) {
        appendInt(out, static_cast<long long>(rounded));
        return;
    }
    // Fixed notation (PDF has no exponents), trailing zeros dropped; room for any double.
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, 5);
    if (res.ec != std::errc()) {
        out += '0';
        return;
    }
    char* end = res.ptr;
    while (end > buf && end[-1] == '0') --end;
    if (end > buf && end[-1] == '.') --end;
    std::string_view text(buf, static_cast<size_t>(end - buf));
    if (text == "-0" || text.empty()) {
        out += '0';
        return;
    }
    out += text;
}

void appendName(std::string& out, std::string_view name) { appendPdfName(out, name); }

void appendLiteralString(std::string& out, std::string_view bytes) {
    out += '(';
    for (char c : bytes) {
        switch (c) {
        case '(': out += "\\("; break;
        case ')': out += "\\)"; break;
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    out += ')';
}

namespace {

// Whether the bytes need no encoding: each is printable ASCII below `end`, a tab, a line feed or
// a carriage return.
bool isPlain(std::string_view bytes, unsigned end) {
    for (unsigned char c : bytes)
        if (c >= end || (c < 0x20 && c != '\n' && c != '\r' && c != '\t')) return false;
    return true;
}

// The code point at `i`, advancing past it; an ill-formed sequence gives U+FFFD and skips one byte.
char32_t nextCodePoint(std::string_view s, size_t& i) {
    const QVUTF8Step step = QVDecodeUTF8(s, i);
    i += step.valid ? step.length : 1;
    return step.codePoint;
}

}  // namespace

std::string pdfTextString(std::string_view utf8) {
    // DEL has no meaning in PDFDocEncoding.
    if (isPlain(utf8, 0x7f)) return std::string(utf8);
    std::string out = "\xFE\xFF";
    auto unit = [&out](unsigned u) {
        out += static_cast<char>(u >> 8);
        out += static_cast<char>(u & 0xFF);
    };
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = nextCodePoint(utf8, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

namespace {

void writeHexString(std::string& out, std::string_view bytes) {
    static const char* hex = "0123456789ABCDEF";
    out += '<';
    for (unsigned char c : bytes) {
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    out += '>';
}

void writeString(std::string& out, std::string_view bytes) {
    // Binary text (UTF-16) reads best and survives transfer as hex.
    if (isPlain(bytes, 0x80))
        appendLiteralString(out, bytes);
    else
        writeHexString(out, bytes);
}

}  // namespace

// Names, and dictionaries for their keys, are written by us: QPDF leaves a '#' in a name
// unescaped, which readers take for the start of an escape.
void writeHandle(std::string& out, QPDFObjectHandle h, const RefMapper* mapper) {
    if (h.isIndirect() && (!mapper || !mapper->templateRef)) {
        appendInt(out, h.getObjectID());
        out += ' ';
        appendInt(out, h.getGeneration());
        out += " R";
        return;
    }
    if (h.isIndirect()) {
        auto og = mapper->templateRef(h.getObjGen());
        if (!og) {
            out += "null";
            return;
        }
        appendInt(out, og->getObj());
        out += ' ';
        appendInt(out, og->getGen());
        out += " R";
        return;
    }
    if (h.isArray()) {
        out += '[';
        bool first = true;
        for (auto item : h.aitems()) {
            if (!first) out += ' ';
            first = false;
            writeHandle(out, item, mapper);
        }
        out += ']';
        return;
    }
    if (h.isDictionary()) {
        out += "<<";
        for (auto& [key, item] : h.ditems()) {
            if (item.isNull()) continue;
            // QPDF gives keys decoded: written as they came, a key with a space would split.
            appendName(out, std::string_view(key).substr(1));
            out += ' ';
            writeHandle(out, item, mapper);
        }
        out += ">>";
        return;
    }
    if (h.isName()) {
        appendName(out, std::string_view(h.getName()).substr(1));
        return;
    }
    out += h.unparse();
}

void writeValue(std::string& out, const Value& v, const RefMapper* mapper) {
    switch (v.kind()) {
    case Value::Kind::Null: out += "null"; return;
    case Value::Kind::Bool: out += v.intValue() ? "true" : "false"; return;
    case Value::Kind::Integer: appendInt(out, v.intValue()); return;
    case Value::Kind::Real: appendReal(out, v.realValue()); return;
    case Value::Kind::Name: appendName(out, v.text()); return;
    case Value::Kind::String: writeString(out, v.text()); return;
    case Value::Kind::Array: {
        out += '[';
        bool first = true;
        for (const auto& item : v.items()) {
            if (!first) out += ' ';
            first = false;
            writeValue(out, item, mapper);
        }
        out += ']';
        return;
    }
    case Value::Kind::Dict:
        out += "<<";
        for (const auto& [key, item] : v.entries()) {
            appendName(out, key);
            out += ' ';
            writeValue(out, item, mapper);
        }
        out += ">>";
        return;
    case Value::Kind::NewRef: {
        int id = mapper && mapper->newRef ? mapper->newRef(v.newIndex()) : v.newIndex();
        appendInt(out, id);
        out += " 0 R";
        return;
    }
    case Value::Kind::Handle: writeHandle(out, v.qpdfHandle(), mapper); return;
    case Value::Kind::Raw: out += v.text(); return;
    }
}

}  // namespace qvpdf::detail
