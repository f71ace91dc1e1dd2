#include "platform/pdf/detail/QpdfSupport.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFLogger.hh>

#include <cmath>
#include <stdexcept>

namespace qvpdf::detail {

namespace {

// Real font programs are a few megabytes at most; a stream that inflates beyond this is
// refused before it is held whole.
constexpr size_t kMaxFontProgram = 64u << 20;

// Collects decoded stream data up to a limit and stops the decoding beyond it.
class BoundedSink : public Pipeline {
public:
    BoundedSink(std::string& out, size_t limit) : Pipeline("bounded sink", nullptr), out_(out), limit_(limit) {}
    void write(unsigned char const* data, size_t len) override {
        if (len > limit_ - out_.size()) throw std::length_error("stream too large");
        out_.append(reinterpret_cast<const char*>(data), len);
    }
    void finish() override {}

private:
    std::string& out_;
    size_t limit_;
};

}  // namespace

std::optional<std::string> boundedStreamData(QPDFObjectHandle stream, size_t limit) {
    std::string out;
    try {
        BoundedSink sink(out, limit);
        if (!stream.pipeStreamData(&sink, 0, qpdf_dl_generalized, true)) return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
    return out;
}

void quietQpdf(QPDF& q) {
    static const std::shared_ptr<QPDFLogger> logger = [] {
        auto l = QPDFLogger::create();
        l->setInfo(l->discard());
        l->setWarn(l->discard());
        l->setError(l->discard());
        return l;
    }();
    q.setLogger(logger);
    q.setSuppressWarnings(true);
}

std::unique_ptr<SimpleFont> readSimpleFont(QPDFObjectHandle fontDict) {
    try {
        QPDFObjectHandle subtype = fontDict.getKey("/Subtype");
        if (!subtype.isName()) return nullptr;
        SimpleFontDescription d;
        d.subtype = subtype.getName().substr(1);
        if (d.subtype != "Type1" && d.subtype != "TrueType" && d.subtype != "MMType1") return nullptr;
        QPDFObjectHandle baseFont = fontDict.getKey("/BaseFont");
        if (baseFont.isName()) d.baseFont = baseFont.getName().substr(1);
        QPDFObjectHandle encoding = fontDict.getKey("/Encoding");
        if (encoding.isName()) {
            d.encodingName = encoding.getName().substr(1);
        } else if (encoding.isDictionary()) {
            QPDFObjectHandle baseEncoding = encoding.getKey("/BaseEncoding");
            if (baseEncoding.isName()) d.encodingName = baseEncoding.getName().substr(1);
            QPDFObjectHandle differences = encoding.getKey("/Differences");
            if (differences.isArray()) {
                int code = 0;
                for (auto item : differences.aitems()) {
                    if (item.isInteger()) {
                        code = item.getIntValueAsInt();
                    } else if (item.isName()) {
                        if (code >= 0 && code < 256) d.differences[code] = item.getName().substr(1);
                        ++code;
                    }
                }
            }
        }
        QPDFObjectHandle firstChar = fontDict.getKey("/FirstChar");
        if (firstChar.isInteger()) d.firstChar = firstChar.getIntValueAsInt();
        QPDFObjectHandle widths = fontDict.getKey("/Widths");
        if (widths.isArray()) {
            for (auto w : widths.aitems()) d.widths.push_back(w.isNumber() ? w.getNumericValue() : 0);
        }
        QPDFObjectHandle descriptor = fontDict.getKey("/FontDescriptor");
        if (descriptor.isDictionary()) {
            auto number = [&](const char* key, double& out) {
                QPDFObjectHandle value = descriptor.getKey(key);
                if (value.isNumber() && std::isfinite(value.getNumericValue())) out = value.getNumericValue();
            };
            number("/MissingWidth", d.missingWidth);
            number("/Ascent", d.ascent);
            number("/Descent", d.descent);
            number("/FontWeight", d.fontWeight);
            number("/ItalicAngle", d.italicAngle);
            QPDFObjectHandle flags = descriptor.getKey("/Flags");
            if (flags.isInteger()) d.flags = static_cast<int>(flags.getIntValue() & 0x7FFFFFFF);
            for (const char* key : {"/FontFile2", "/FontFile3", "/FontFile"}) {
                QPDFObjectHandle program = descriptor.getKey(key);
                if (!program.isStream()) continue;
                // Without its program the font is judged by its /Widths alone.
                d.fontProgram = boundedStreamData(program, kMaxFontProgram);
                break;
            }
        }
        return std::make_unique<SimpleFont>(std::move(d));
    } catch (...) {
        return nullptr;
    }
}

}  // namespace qvpdf::detail
