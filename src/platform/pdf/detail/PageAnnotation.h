#pragma once
// What a PDFPage and a PDFAnnotation stand for inside the document layer.

#include <memory>

#include "platform/pdf/detail/Internal.h"

namespace qvpdf {

struct PDFPage::Private {
    std::shared_ptr<detail::DocumentImpl> doc;    // null for a detached copy
    std::shared_ptr<const detail::State> frozen;  // set for copies and inserted pages
    int page = 0;

    const detail::State* state() const { return frozen ? frozen.get() : doc ? doc->state.get() : nullptr; }
};

struct PDFAnnotation::Private {
    std::shared_ptr<detail::DocumentImpl> doc;    // the document it belongs to, if any
    std::shared_ptr<const detail::State> frozen;  // read-only view (pages of copies)
    int tplAnnot = -1;
    int freeText = -1;
    detail::FreeTextProps loose;  // a free-text annotation not on a page yet
    bool isLooseFreeText = false;

    const detail::State* state() const { return frozen ? frozen.get() : doc ? doc->state.get() : nullptr; }
};

}  // namespace qvpdf
