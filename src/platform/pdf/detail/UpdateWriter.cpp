// A document's PDF data: the template's base bytes, unchanged, followed by an incremental
// update with only the replaced and new objects and a cross-reference section of the same
// kind as the base's.

#include <algorithm>

#include "platform/pdf/detail/Internal.h"
#include "platform/pdf/detail/ObjectWriter.h"

namespace qvpdf::detail {

namespace {

struct Entry {
    int num;
    int gen;
    size_t offset;
};

void appendPadded(std::string& out, unsigned long long n, int width) {
    char buf[24];
    int len = 0;
    do {
        buf[len++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n && len < 20);
    for (int i = len; i < width; ++i) out += '0';
    while (len) out += buf[--len];
}

// Contiguous runs of object numbers, as /Index pairs or xref subsection headers.
std::vector<std::pair<int, int>> runs(const std::vector<Entry>& entries) {
    std::vector<std::pair<int, int>> out;
    for (const Entry& e : entries) {
        if (!out.empty() && out.back().first + out.back().second == e.num)
            ++out.back().second;
        else
            out.emplace_back(e.num, 1);
    }
    return out;
}

void appendTrailerEntries(std::string& out, const Template& t, int size) {
    out += "/Size ";
    appendInt(out, size);
    out += " /Root ";
    appendInt(out, t.rootOg.getObj());
    out += ' ';
    appendInt(out, t.rootOg.getGen());
    out += " R";
    QPDFObjectHandle info = t.trailer.getKey("/Info");
    if (info.isIndirect()) {
        out += " /Info ";
        out += info.unparse();
    }
    QPDFObjectHandle id = t.trailer.getKey("/ID");
    if (id.isArray()) {
        out += " /ID ";
        out += id.unparse();
    }
    out += " /Prev ";
    appendInt(out, t.startxref);
}

void writeClassicXref(std::string& out, const Template& t, const std::vector<Entry>& entries, int size) {
    size_t xref = out.size();
    out += "xref\n";
    size_t next = 0;
    for (auto [start, count] : runs(entries)) {
        appendInt(out, start);
        out += ' ';
        appendInt(out, count);
        out += '\n';
        for (int i = 0; i < count; ++i, ++next) {
            appendPadded(out, entries[next].offset, 10);
            out += ' ';
            appendPadded(out, static_cast<unsigned long long>(entries[next].gen), 5);
            out += " n\r\n";
        }
    }
    out += "trailer\n<<";
    appendTrailerEntries(out, t, size);
    out += ">>\nstartxref\n";
    appendInt(out, static_cast<long long>(xref));
    out += "\n%%EOF\n";
}

void writeXrefStream(std::string& out, const Template& t, std::vector<Entry> entries, int xrefNum) {
    size_t xref = out.size();
    entries.push_back(Entry{xrefNum, 0, xref});
    int offsetBytes = 1;
    while (offsetBytes < 8 && (xref >> (8 * offsetBytes)) != 0) ++offsetBytes;
    std::string data;
    data.reserve(entries.size() * static_cast<size_t>(3 + offsetBytes));
    for (const Entry& e : entries) {
        data += '\x01';
        for (int b = offsetBytes - 1; b >= 0; --b) data += static_cast<char>((e.offset >> (8 * b)) & 0xFF);
        data += static_cast<char>((e.gen >> 8) & 0xFF);
        data += static_cast<char>(e.gen & 0xFF);
    }
    appendInt(out, xrefNum);
    out += " 0 obj\n<</Type /XRef ";
    appendTrailerEntries(out, t, xrefNum + 1);
    out += " /W [1 ";
    appendInt(out, offsetBytes);
    out += " 2] /Index [";
    for (auto [start, count] : runs(entries)) {
        appendInt(out, start);
        out += ' ';
        appendInt(out, count);
        out += ' ';
    }
    out += "] /Length ";
    appendInt(out, static_cast<long long>(data.size()));
    out += ">>\nstream\n";
    out += data;
    out += "\nendstream\nendobj\nstartxref\n";
    appendInt(out, static_cast<long long>(xref));
    out += "\n%%EOF\n";
}

}  // namespace

std::optional<std::string> writeUpdate(const State& s, std::string* tail) {
    const Template& t = *s.tpl;
    if (tail) tail->clear();
    if (s.replaced.empty() && s.added.empty()) return t.base;
    if (t.startxref < 0) return std::nullopt;

    std::string out;
    size_t estimate = t.base.size() + 1024 + s.replaced.size() * 600;
    for (const auto& obj : s.added) estimate += 400 + (obj->stream ? obj->stream->size() : 0);
    out.reserve(estimate);
    out = t.base;
    if (out.empty() || (out.back() != '\n' && out.back() != '\r')) out += '\n';

    RefMapper mapper;
    mapper.newRef = [&t](int index) { return t.size + index; };
    std::vector<Entry> entries;
    entries.reserve(s.replaced.size() + s.added.size() + 1);
    for (const auto& [num, rep] : s.replaced) {
        entries.push_back(Entry{num, rep.og.getGen(), out.size()});
        writeIndirectObject(out, num, rep.og.getGen(), rep.dict, nullptr, &mapper);
    }
    for (size_t i = 0; i < s.added.size(); ++i) {
        int num = t.size + static_cast<int>(i);
        entries.push_back(Entry{num, 0, out.size()});
        const NewObject& obj = *s.added[i];
        writeIndirectObject(out, num, 0, obj.dict, obj.stream ? &*obj.stream : nullptr, &mapper);
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.num < b.num; });
    int newSize = t.size + static_cast<int>(s.added.size());
    if (t.xrefStream)
        writeXrefStream(out, t, std::move(entries), newSize);
    else
        writeClassicXref(out, t, entries, newSize);
    if (tail) tail->assign(out, t.base.size(), std::string::npos);
    return out;
}

}  // namespace qvpdf::detail
