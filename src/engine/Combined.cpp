#include "engine/Combined.h"

#include <string>
#include <system_error>

#include "input/Fail.h"
#include "localization/Text.h"
#include "output/WriteFile.h"
#include "platform/Format.h"

bool QVCombinedOutputIsPossible() { return true; }

bool QVPathExists(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::file_status status = std::filesystem::symlink_status(path, ec);
    // A path we may not look into counts as free: creating the file there fails later with
    // the real reason, and creation never replaces anything.
    if (ec) return false;
    return status.type() != std::filesystem::file_type::not_found;
}

std::shared_ptr<qvpdf::PDFDocument> QVBeginCombined(const std::filesystem::path& outputFolder, QVError* error,
                                                    std::string_view name) {
    if (QVPathExists(outputFolder / name)) {
        QVFail(error, QVFormat(QVText("Uitvoerbestand bestaat al: %@"), {std::string(name)}));
        return nullptr;
    }
    std::shared_ptr<qvpdf::PDFDocument> combined = qvpdf::PDFDocument::init();
    if (!combined) QVFail(error, QVText("Gecombineerde PDF genereren mislukt."));
    return combined;
}

bool QVAppendFlattened(qvpdf::PDFDocument& combined, qvpdf::PDFDocument& record, uint64_t number,
                       QVError* error) {
    qvpdf::PDFWriteOptions options;
    options.burnInAnnotations = true;
    std::optional<std::string> data = record.dataRepresentationWithOptions(options);
    std::shared_ptr<qvpdf::PDFDocument> flat = data ? qvpdf::PDFDocument::initWithData(*data) : nullptr;
    if (!flat || flat->pageCount() != record.pageCount()) {
        return QVFail(error, QVFormat(QVText("Vlak maken van record %lu mislukt."),
                                      {static_cast<unsigned long>(number + 1)}));
    }

    const size_t pageCount = flat->pageCount();
    for (size_t p = 0; p < pageCount; ++p) {
        std::shared_ptr<qvpdf::PDFPage> page = flat->pageAtIndex(p);
        if (!page) return QVFail(error, QVText("PDF-pagina kopiëren mislukt."));
        for (const std::shared_ptr<qvpdf::PDFAnnotation>& annotation : page->annotations()) {
            if (annotation && annotation->type() == qvpdf::PDFAnnotationSubtypeWidget)
                return QVFail(error, QVText("Formuliervelden konden niet worden vlak gemaakt."));
        }
        std::shared_ptr<qvpdf::PDFPage> copy = page->copy();
        if (!copy) return QVFail(error, QVText("PDF-pagina kopiëren mislukt."));
        // An insertion that fails would silently lose the page; treat it like a failed copy.
        if (!combined.insertPage(copy, combined.pageCount()))
            return QVFail(error, QVText("PDF-pagina kopiëren mislukt."));
    }
    return true;
}

bool QVWriteCombined(qvpdf::PDFDocument& combined, const std::filesystem::path& outputFolder, QVError* error,
                     std::string_view name) {
    std::optional<std::string> data = combined.dataRepresentation();
    if (!data) return QVFail(error, QVText("Gecombineerde PDF genereren mislukt."));
    return QVWriteNewPDF(*data, outputFolder / name, error);
}
