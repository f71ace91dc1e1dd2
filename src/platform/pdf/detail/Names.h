#pragma once
// PDF names as the file syntax spells them. Names are kept decoded everywhere in this layer
// (as QPDF gives dictionary keys); they are escaped only where bytes are written, so that a
// resource key and the content that selects it always agree.

#include <string>
#include <string_view>

namespace qvpdf {

// Appends "/" and the name, with every byte outside '!'..'~', '#', the delimiters and white
// space written as #xx.
void appendPdfName(std::string& out, std::string_view name);
std::string pdfName(std::string_view name);

// The name a token stands for (the token without its slash): #xx escapes decoded. A '#' that
// two hex digits do not follow stays as it is.
std::string decodePdfName(std::string_view token);

}  // namespace qvpdf
