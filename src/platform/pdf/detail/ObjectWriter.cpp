#include "platform/pdf/detail/ObjectWriter.h"

namespace qvpdf::detail {

void writeIndirectObject(std::string& out, int num, int gen, const Value& dict, const std::string* stream,
                         const RefMapper* mapper) {
    appendInt(out, num);
    out += ' ';
    appendInt(out, gen);
    out += " obj\n";
    writeObjectBody(out, dict, stream, mapper);
}

void writeObjectBody(std::string& out, const Value& dict, const std::string* stream, const RefMapper* mapper) {
    if (!stream) {
        writeValue(out, dict, mapper);
        out += "\nendobj\n";
        return;
    }
    out += "<<";
    for (const auto& [key, item] : dict.entries()) {
        if (key == "Length") continue;
        appendName(out, key);
        out += ' ';
        writeValue(out, item, mapper);
    }
    out += "/Length ";
    appendInt(out, static_cast<long long>(stream->size()));
    out += ">>\nstream\n";
    out += *stream;
    out += "\nendstream\nendobj\n";
}

}  // namespace qvpdf::detail
