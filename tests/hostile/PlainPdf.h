#pragma once
// Raw PDF syntax for malformed and oversized documents that no well-behaved generator would
// produce: cycles, deep nesting, streams that inflate enormously. The documents are written
// with qvfixture::PdfWriter, whose cross-reference table is always correct, so that each is
// broken only in the way the test intends; object 1 is the catalog.

#include <zlib.h>

#include <string>
#include <vector>

#include "support/FormFixtures.h"

namespace qvhostile {

using qvfixture::PdfWriter;
using qvfixture::ref;

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
inline void addFormSkeleton(PdfWriter& pdf, const std::string& fields, const std::string& widgets,
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
