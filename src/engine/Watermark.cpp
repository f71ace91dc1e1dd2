#include "engine/Watermark.h"

#include <algorithm>
#include <cmath>

#include "localization/Text.h"
#include "output/Pattern.h"
#include "platform/Error.h"
#include "platform/Format.h"
#include "platform/Unicode.h"

using qvpdf::PDFRect;

namespace {

// Blank after trimming, or a control character anywhere (line breaks and tabs included), or
// text that is not UTF-8 at all: none of these can be drawn as one line.
bool isDrawableLine(std::string_view text) {
    bool control = false;
    bool visible = false;
    bool wellFormed = QVForEachCodePoint(text, [&](char32_t c) {
        if (QVIsControlCharacter(c)) {
            control = true;
            return false;
        }
        if (!QVIsWhitespaceOrNewline(c)) visible = true;
        return true;
    });
    return wellFormed && !control && visible;
}

}  // namespace

bool QVWatermarkStyleIsValid(const QVWatermarkStyle& style) {
    if (style.position > QVWatermarkPositionTop) return false;
    if (!std::isfinite(style.fontSize) || style.fontSize < 8 || style.fontSize > 48) return false;
    if (!std::isfinite(style.gray) || style.gray < 0 || style.gray > 1) return false;
    return true;
}

double QVWatermarkBandHeight(double fontSize) { return std::max(20.0, std::ceil(1.6 * fontSize)); }

PDFRect QVWatermarkBand(const PDFRect& crop, uint64_t position, double height) {
    PDFRect band{crop.x + 10, 0, crop.width - 20, height};
    switch (position) {
    case QVWatermarkPositionMiddle: band.y = crop.y + crop.height * 0.5 - height / 2; break;
    case QVWatermarkPositionTop: band.y = crop.y + crop.height - height - 10; break;
    default: band.y = crop.y + 10; break;
    }
    return band;
}

std::optional<QVWatermarkSetup> QVPrepareWatermark(const QVWatermarkStyle& style,
                                                   const qvpdf::PDFDocument& templateDocument, QVError* error) {
    if (!QVWatermarkStyleIsValid(style)) {
        QVFail(error, QVText("Ongeldige watermerkopmaak."));
        return std::nullopt;
    }

    QVWatermarkSetup setup;
    setup.style = style;
    setup.face = qvpdf::FontService::shared().systemUIFace();
    if (!setup.face) {
        QVFail(error, QVText("Het lettertype voor het watermerk is niet beschikbaar."));
        return std::nullopt;
    }
    setup.bandHeight = QVWatermarkBandHeight(style.fontSize);

    const size_t pageCount = templateDocument.pageCount();
    setup.cropBoxes.reserve(pageCount);
    for (size_t p = 0; p < pageCount; ++p) {
        std::shared_ptr<qvpdf::PDFPage> page = templateDocument.pageAtIndex(p);
        if (page && page->rotation() % 360 != 0) {
            QVFail(error, QVFormat(QVText("Watermerk wordt nog niet ondersteund op gedraaide pagina %lu."),
                                   {static_cast<unsigned long>(p + 1)}));
            return std::nullopt;
        }
        setup.cropBoxes.push_back(page ? page->cropBox() : PDFRect{});
    }
    return setup;
}

std::optional<std::string> QVWatermarkTextForRecord(const QVWatermarkSetup& setup, const QVWatermarkSource& source,
                                                    std::span<const std::string_view> header,
                                                    std::span<const std::string_view> row, uint64_t number,
                                                    QVError* error) {
    std::string text;
    if (source.column) {
        text.assign(row[*source.column]);
    } else {
        std::optional<std::string> expanded =
            QVExpandPattern(source.pattern.value_or(""), header, row, number, 1, error);
        if (!expanded) return std::nullopt;
        text = std::move(*expanded);
    }

    if (!isDrawableLine(text)) {
        QVFail(error, QVFormat(QVText("Watermerk voor record %lu is leeg of bevat een controleteken."),
                               {static_cast<unsigned long>(number)}));
        return std::nullopt;
    }

    // Measured untrimmed: the spaces at either end are drawn as well.
    const double width = qvpdf::measureLine(text, setup.face, setup.style.fontSize);
    for (size_t p = 0; p < setup.cropBoxes.size(); ++p) {
        const PDFRect& crop = setup.cropBoxes[p];
        if (40 + width > crop.width || setup.bandHeight + 20 > crop.height) {
            QVFail(error, QVFormat(QVText("Watermerk voor record %lu past niet op pagina %lu."),
                                   {static_cast<unsigned long>(number), static_cast<unsigned long>(p + 1)}));
            return std::nullopt;
        }
    }
    return text;
}

bool QVPlaceWatermark(const QVWatermarkSetup& setup, qvpdf::PDFDocument& document, const std::string& text,
                      QVError* error) {
    const size_t pageCount = document.pageCount();
    for (size_t p = 0; p < pageCount; ++p) {
        std::shared_ptr<qvpdf::PDFPage> page = document.pageAtIndex(p);
        if (!page) return QVFail(error, QVText("Watermerk aanmaken mislukt."));
        const PDFRect band = QVWatermarkBand(page->cropBox(), setup.style.position, setup.bandHeight);
        std::shared_ptr<qvpdf::PDFAnnotation> annotation =
            qvpdf::PDFAnnotation::initWithBounds(band, qvpdf::PDFAnnotationSubtypeFreeText);
        if (!annotation) return QVFail(error, QVText("Watermerk aanmaken mislukt."));

        annotation->setContents(text);
        annotation->setFont(qvpdf::PDFFont{setup.face, setup.style.fontSize});
        annotation->setFontColor(qvpdf::PDFColor::calibratedWhite(setup.style.gray, 1));
        annotation->setColor(qvpdf::PDFColor::clear());
        annotation->setAlignment(qvpdf::PDFTextAlignment::Center);
        annotation->setShouldPrint(true);
        // A page that cannot take the annotation leaves the record without its watermark,
        // which must not pass silently.
        if (!page->addAnnotation(annotation)) return QVFail(error, QVText("Watermerk aanmaken mislukt."));
    }
    return true;
}
