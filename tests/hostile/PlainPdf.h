#pragma once
// A writer of raw PDF syntax for malformed and oversized documents that no well-behaved
// generator would produce: cycles, deep nesting, streams that inflate enormously. Objects are
// numbered from 1 in the order given; object 1 is the catalog. The cross-reference table is
// always correct, so that each document is broken only in the way the test intends.

#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace qvhostile {

class PlainPdf {
public:
    // Returns the object's number.
    int add(std::string body) {
        objects_.push_back(std::move(body));
        return static_cast<int>(objects_.size());
    }
    // A stream object holding `data` as it is, after `dictionary` (without its closing >>).
    int addStream(const std::string& dictionaryStart, const std::string& data) {
        return add(dictionaryStart + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
                   "\nendstream");
    }
    void set(int object, std::string body) { objects_[static_cast<size_t>(object - 1)] = std::move(body); }

    std::string build() const {
        std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
        std::vector<size_t> offsets;
        for (size_t i = 0; i < objects_.size(); ++i) {
            offsets.push_back(out.size());
            out += std::to_string(i + 1) + " 0 obj\n" + objects_[i] + "\nendobj\n";
        }
        const size_t xref = out.size();
        out += "xref\n0 " + std::to_string(objects_.size() + 1) + "\n0000000000 65535 f \n";
        char line[32];
        for (size_t offset : offsets) {
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
            out += line;
        }
        out += "trailer\n<< /Size " + std::to_string(objects_.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
               std::to_string(xref) + "\n%%EOF\n";
        return out;
    }

private:
    std::vector<std::string> objects_;
};

inline std::string ref(int object) { return std::to_string(object) + " 0 R"; }

// `prefix` followed by `size` copies of `fill`, deflated without ever holding them: about 1 KiB
// per MiB of filling.
inline std::string deflatedFill(const std::string& prefix, size_t size, char fill = 0) {
    z_stream z{};
    deflateInit(&z, Z_BEST_COMPRESSION);
    const std::vector<unsigned char> block(1 << 20, static_cast<unsigned char>(fill));
    std::string out;
    std::vector<unsigned char> buffer(1 << 16);
    size_t left = size;
    bool prefixDone = prefix.empty();
    int flush = Z_NO_FLUSH;
    do {
        if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
            if (!prefixDone) {
                z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(prefix.data()));
                z.avail_in = static_cast<uInt>(prefix.size());
                prefixDone = true;
            } else {
                size_t chunk = left < block.size() ? left : block.size();
                left -= chunk;
                z.next_in = const_cast<Bytef*>(block.data());
                z.avail_in = static_cast<uInt>(chunk);
            }
            if (prefixDone && left == 0) flush = Z_FINISH;
        }
        z.next_out = buffer.data();
        z.avail_out = static_cast<uInt>(buffer.size());
        int rc = deflate(&z, flush);
        out.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - z.avail_out);
        if (rc == Z_STREAM_END) break;
    } while (true);
    deflateEnd(&z);
    return out;
}

// `size` zero bytes, deflated without ever holding them: about 1 KiB per MiB.
inline std::string deflatedZeros(size_t size) { return deflatedFill("", size); }

// `data` deflated.
inline std::string deflated(const std::string& data) { return deflatedFill(data, 0); }

// A one-page form whose page lists `widgets` (object numbers of widget dictionaries) and whose
// AcroForm lists `fields`; the page is object 3, the pages node object 2.
inline void addFormSkeleton(PlainPdf& pdf, const std::string& fields, const std::string& widgets,
                            const std::string& pageExtra = "") {
    pdf.add("<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [" + fields +
            "] /DA (/Helv 10 Tf 0 g) /DR << /Font << /Helv 4 0 R >> >> >> >>");
    pdf.add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [" + widgets + "] " + pageExtra + " >>");
    pdf.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
}

// A widget-and-field dictionary of a text field named `name` on page 3.
inline std::string textWidget(const std::string& name, const std::string& extra = "") {
    return "<< /Type /Annot /Subtype /Widget /FT /Tx /T (" + name + ") /Rect [50 700 300 720] /P 3 0 R " + extra +
           " >>";
}

}  // namespace qvhostile
