#pragma once
// Writing one indirect object of ours.

#include <string>

#include "platform/pdf/detail/Value.h"

namespace qvpdf::detail {

// "num gen obj", the dictionary (with /Length when there is stream data), the data, "endobj".
// The dictionary's own /Length, if any, is replaced.
// What follows "num gen obj": the dictionary, the stream if any, and "endobj".
void writeObjectBody(std::string& out, const Value& dict, const std::string* stream, const RefMapper* mapper);
void writeIndirectObject(std::string& out, int num, int gen, const Value& dict, const std::string* stream,
                         const RefMapper* mapper);

}  // namespace qvpdf::detail
