#include "engine/Combined.h"

#include <memory>
#include <string>

#include "localization/Text.h"
#include "output/WriteFile.h"
#include "platform/Error.h"
#include "platform/Format.h"

bool QVCombinedOutputIsPossible() { return true; }

class QVCombinedOutput {
public:
    QVCombinedOutput(const QVOutputFolder& folder, std::string name) : folder_(folder), name_(std::move(name)) {}

    // Prepares for the first record: streamed, unless its pages are encrypted. The file itself
    // is created when the first pages come.
    bool start(bool encrypted, QVError* error) {
        if (document_ || writer_) return true;
        if (encrypted) {
            document_ = qvpdf::PDFDocument::init();
            return document_ || QVFail(error, QVText("Gecombineerde PDF genereren mislukt."));
        }
        writer_ = std::make_unique<qvpdf::PDFPageWriter>(
            [this](std::string_view bytes) { return file_->write(bytes, &writeError_); },
            [this](uint64_t offset, size_t length, char* into) { return file_->readBack(offset, length, into); });
        return true;
    }

    // For threads that flatten records: the streamed file's writer, null before start or when
    // pages are gathered. It only encodes for its identity there; appending stays on this thread.
    const qvpdf::PDFPageWriter* streamingWriter() const { return writer_.get(); }

    bool append(qvpdf::PDFDocument& flat, QVError* error) {
        if (document_) {
            for (size_t p = 0; p < flat.pageCount(); ++p) {
                std::shared_ptr<qvpdf::PDFPage> page = flat.pageAtIndex(p);
                std::shared_ptr<qvpdf::PDFPage> copy = page ? page->copy() : nullptr;
                // An insertion that fails would silently lose the page; treat it like a failed copy.
                if (!copy || !document_->insertPage(copy, document_->pageCount()))
                    return QVFail(error, QVText("PDF-pagina kopiëren mislukt."));
            }
            return true;
        }
        std::optional<qvpdf::PDFEncodedPages> pages = writer_->encodePages(flat);
        if (!pages) return QVFail(error, QVText("PDF-pagina kopiëren mislukt."));
        return appendEncoded(*pages, error);
    }

    bool appendEncoded(const qvpdf::PDFEncodedPages& pages, QVError* error) {
        if (!writer_) return QVFail(error, QVText("PDF-pagina kopiëren mislukt."));
        if (!file_) {
            file_ = QVNewPDFFile::create(folder_, name_, error);
            if (!file_) return false;
        }
        if (writer_->appendEncoded(pages)) return true;
        return failWriting(error, QVText("PDF-pagina kopiëren mislukt."));
    }

    bool finish(QVError* error) {
        if (document_) {
            std::optional<std::string> data = document_->dataRepresentation();
            if (!data) return QVFail(error, QVText("Gecombineerde PDF genereren mislukt."));
            return QVWriteNewPDF(*data, folder_, name_, error);
        }
        if (!writer_ || !file_) return QVFail(error, QVText("Gecombineerde PDF genereren mislukt."));
        if (!writer_->finish()) return failWriting(error, QVText("Gecombineerde PDF genereren mislukt."));
        return file_->commit(error);
    }

private:
    // A failure of the file itself says what the system said; otherwise `message`.
    bool failWriting(QVError* error, const std::string& message) {
        if (!writeError_.message.empty()) {
            if (error) *error = writeError_;
            return false;
        }
        return QVFail(error, message);
    }

    const QVOutputFolder& folder_;
    std::string name_;
    std::shared_ptr<qvpdf::PDFDocument> document_;  // encrypted pages, gathered
    std::unique_ptr<QVNewPDFFile> file_;
    std::unique_ptr<qvpdf::PDFPageWriter> writer_;
    QVError writeError_;
};

std::shared_ptr<QVCombinedOutput> QVBeginCombined(const QVOutputFolder& outputFolder, QVError* error,
                                                  std::string_view name) {
    if (outputFolder.contains(std::string(name))) {
        QVFail(error, QVFormat(QVText("Uitvoerbestand bestaat al: %@"), {std::string(name)}));
        return nullptr;
    }
    return std::make_shared<QVCombinedOutput>(outputFolder, std::string(name));
}

namespace {

// `record` burned in and opened again; null, with the record's message, when that fails or
// leaves a form field standing.
std::shared_ptr<qvpdf::PDFDocument> flattened(qvpdf::PDFDocument& record, qvpdf::PDFContext& context, uint64_t number,
                                              QVError* error) {
    qvpdf::PDFWriteOptions options;
    options.burnInAnnotations = true;
    std::optional<std::string> data = record.dataRepresentationWithOptions(options);
    // The context remembers what `record` wrote, so this costs no parse.
    std::shared_ptr<qvpdf::PDFDocument> flat = data ? qvpdf::PDFDocument::initWithData(*data, context) : nullptr;
    if (!flat || flat->pageCount() != record.pageCount()) {
        QVFail(error, QVFormat(QVText("Vlak maken van record %lu mislukt."), {static_cast<unsigned long>(number + 1)}));
        return nullptr;
    }
    data.reset();

    const size_t pageCount = flat->pageCount();
    for (size_t p = 0; p < pageCount; ++p) {
        std::shared_ptr<qvpdf::PDFPage> page = flat->pageAtIndex(p);
        if (!page) {
            QVFail(error, QVText("PDF-pagina kopiëren mislukt."));
            return nullptr;
        }
        for (const std::shared_ptr<qvpdf::PDFAnnotation>& annotation : page->annotations()) {
            if (annotation && annotation->type() == qvpdf::PDFAnnotationSubtypeWidget) {
                QVFail(error, QVText("Formuliervelden konden niet worden vlak gemaakt."));
                return nullptr;
            }
        }
    }
    return flat;
}

}  // namespace

bool QVAppendFlattened(QVCombinedOutput& combined, qvpdf::PDFDocument& record, qvpdf::PDFContext& context,
                       uint64_t number, QVError* error) {
    std::shared_ptr<qvpdf::PDFDocument> flat = flattened(record, context, number, error);
    return flat && combined.start(flat->isEncrypted(), error) && combined.append(*flat, error);
}

bool QVStartStreamedCombined(QVCombinedOutput& combined, QVError* error) { return combined.start(false, error); }

std::optional<qvpdf::PDFEncodedPages> QVEncodeFlattened(const QVCombinedOutput& combined, qvpdf::PDFDocument& record,
                                                        qvpdf::PDFContext& context, uint64_t number, QVError* error) {
    std::shared_ptr<qvpdf::PDFDocument> flat = flattened(record, context, number, error);
    if (!flat) return std::nullopt;
    const qvpdf::PDFPageWriter* writer = combined.streamingWriter();
    std::optional<qvpdf::PDFEncodedPages> pages = writer ? writer->encodePages(*flat) : std::nullopt;
    if (!pages) QVFail(error, QVText("PDF-pagina kopiëren mislukt."));
    return pages;
}

bool QVAppendEncoded(QVCombinedOutput& combined, const qvpdf::PDFEncodedPages& pages, QVError* error) {
    return combined.appendEncoded(pages, error);
}

bool QVWriteCombined(QVCombinedOutput& combined, const std::filesystem::path&, QVError* error) {
    return combined.finish(error);
}
