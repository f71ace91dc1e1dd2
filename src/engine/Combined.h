#pragma once
// Combined output: one file holding the flattened pages of every record. Private to the engine.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "output/OutputFolder.h"
#include "platform/Error.h"
#include "platform/pdf/Document.h"

// The fixed name of the combined file in the output folder.
inline constexpr const char* QVCombinedFileName = "merge-gecombineerd.pdf";

// Whether this system can produce combined output at all: it needs the PDF layer to draw
// form fields and annotations into the page content, which ours always can.
bool QVCombinedOutputIsPossible();

// The combined output of one run. Records' pages go to the (still nameless) file as they are
// flattened, so memory does not grow with the records; the file gets its name when complete.
// Pages of an encrypted template are gathered in memory instead, since such a file is
// encrypted as a whole.
class QVCombinedOutput;

// Before the second pass: refuses when anything (file, folder, link) is called `name` in the
// output folder; otherwise gives the empty combined output, which will be made in that folder
// (it must outlive the output). Creates nothing yet.
[[nodiscard]] std::shared_ptr<QVCombinedOutput> QVBeginCombined(const QVOutputFolder& outputFolder, QVError* error,
                                                                std::string_view name = QVCombinedFileName);

// Burns `record` in, reopens the result through `context` (the one `record` was opened
// through, which then need not parse it) and appends its pages to `combined`. `number` is the
// record number; the flattening message reports it plus one.
[[nodiscard]] bool QVAppendFlattened(QVCombinedOutput& combined, qvpdf::PDFDocument& record, qvpdf::PDFContext& context,
                                     uint64_t number, QVError* error);

// The same on several threads, for pages that are streamed (not those of an encrypted
// template): QVStartStreamedCombined once before any record, then per record
// QVEncodeFlattened on the thread that built `record` (it reads nothing of `combined` that
// changes) and QVAppendEncoded on the thread that started it, in record order. The file is
// created by the first append, as QVAppendFlattened creates it with the first record.
[[nodiscard]] bool QVStartStreamedCombined(QVCombinedOutput& combined, QVError* error);
[[nodiscard]] std::optional<qvpdf::PDFEncodedPages> QVEncodeFlattened(const QVCombinedOutput& combined,
                                                                      qvpdf::PDFDocument& record,
                                                                      qvpdf::PDFContext& context, uint64_t number,
                                                                      QVError* error);
[[nodiscard]] bool QVAppendEncoded(QVCombinedOutput& combined, const qvpdf::PDFEncodedPages& pages, QVError* error);

// Completes the combined file and gives it its name.
[[nodiscard]] bool QVWriteCombined(QVCombinedOutput& combined, const std::filesystem::path& outputFolder,
                                   QVError* error);
