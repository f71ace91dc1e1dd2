#pragma once
// The watermark line of a merge run: preparation once per run, the check of each record's
// text in the first pass, and its placement on every page in the second pass. Private to the
// engine.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Engine.h"
#include "platform/Error.h"
#include "platform/pdf/Document.h"

// What the run settles once: the style, the font that both measures and draws, the band
// height and the template's crop boxes (every record's document is a copy of the template,
// so its pages have these sizes).
struct QVWatermarkSetup {
    QVWatermarkStyle style{};
    qvpdf::FaceRef face;
    double bandHeight = 20;
    std::vector<qvpdf::PDFRect> cropBoxes;
};

// Where a record's text comes from: a column of the header, or a pattern.
struct QVWatermarkSource {
    std::optional<size_t> column;
    std::optional<std::string> pattern;
};

// True for a position of 0, 1 or 2, a finite size of 8 to 48 points and a finite grey of 0 to 1.
bool QVWatermarkStyleIsValid(const QVWatermarkStyle& style);

// 1.6 times the size, rounded up, and never below 20 points.
double QVWatermarkBandHeight(double fontSize);

// The band on a page with crop box `crop`: 10 points in from the sides, `height` high, along
// the bottom, across the middle or along the top.
qvpdf::PDFRect QVWatermarkBand(const qvpdf::PDFRect& crop, uint64_t position, double height);

// Checks the style, finds the font and refuses the first rotated page of the template.
[[nodiscard]] std::optional<QVWatermarkSetup> QVPrepareWatermark(const QVWatermarkStyle& style,
                                                                 const qvpdf::PDFDocument& templateDocument,
                                                                 QVError* error);

// Record `number`'s watermark text, exactly as it will be drawn: taken from the source,
// refused when blank or holding a control character, and measured against every page.
[[nodiscard]] std::optional<std::string> QVWatermarkTextForRecord(const QVWatermarkSetup& setup,
                                                                  const QVWatermarkSource& source,
                                                                  std::span<const std::string_view> header,
                                                                  std::span<const std::string_view> row,
                                                                  uint64_t number, QVError* error);

// Adds one free-text annotation with `text` on the band of every page of `document`.
[[nodiscard]] bool QVPlaceWatermark(const QVWatermarkSetup& setup, qvpdf::PDFDocument& document,
                                    const std::string& text, QVError* error);
