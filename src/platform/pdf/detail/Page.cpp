// PDFPage: a page of a document's state, or of a frozen copy.

#include "platform/pdf/detail/PageAnnotation.h"

namespace qvpdf {

using namespace detail;

PDFPage::PDFPage(std::unique_ptr<Private> p) : p_(std::move(p)) {}
PDFPage::~PDFPage() = default;

std::vector<std::shared_ptr<PDFAnnotation>> PDFPage::annotations() const {
    std::vector<std::shared_ptr<PDFAnnotation>> out;
    const State* s = p_->state();
    if (!s || static_cast<size_t>(p_->page) >= s->pageAnnots.size()) return out;
    for (const AnnotRef& ref : s->pageAnnots[static_cast<size_t>(p_->page)]) {
        auto a = std::make_unique<PDFAnnotation::Private>();
        a->doc = p_->frozen ? nullptr : p_->doc;
        a->frozen = p_->frozen;
        a->tplAnnot = ref.tpl;
        a->freeText = ref.freeText;
        out.push_back(std::shared_ptr<PDFAnnotation>(new PDFAnnotation(std::move(a))));
    }
    return out;
}

PDFRect PDFPage::cropBox() const {
    const State* s = p_->state();
    if (!s) return {};
    const double* c = s->tpl->pages[static_cast<size_t>(p_->page)].crop;
    return PDFRect{c[0], c[1], c[2] - c[0], c[3] - c[1]};
}

int PDFPage::rotation() const {
    const State* s = p_->state();
    return s ? s->tpl->pages[static_cast<size_t>(p_->page)].rotation : 0;
}

bool PDFPage::addAnnotation(const std::shared_ptr<PDFAnnotation>& annotation) {
    if (!annotation || p_->frozen || !p_->doc || !p_->doc->state) return false;
    PDFAnnotation::Private& a = *annotation->p_;
    if (!a.isLooseFreeText) return false;
    State& s = p_->doc->mutableState();
    FreeText ft;
    ft.props = a.loose;
    ft.page = p_->page;
    s.freeTexts.push_back(std::move(ft));
    int index = static_cast<int>(s.freeTexts.size()) - 1;
    s.pageAnnots[static_cast<size_t>(p_->page)].push_back(AnnotRef{-1, index});
    s.annotsChanged[static_cast<size_t>(p_->page)] = 1;
    s.changed = true;
    a.isLooseFreeText = false;
    a.doc = p_->doc;
    a.freeText = index;
    return true;
}

std::shared_ptr<PDFPage> PDFPage::copy() const {
    auto p = std::make_unique<Private>();
    if (p_->frozen) {
        p->frozen = p_->frozen;
    } else {
        if (!p_->doc || !p_->doc->state) return nullptr;
        try {
            if (!prepareForWrite(*p_->doc, false)) return nullptr;
        } catch (...) {
            return nullptr;
        }
        p->frozen = p_->doc->freeze();
    }
    p->page = p_->page;
    return std::shared_ptr<PDFPage>(new PDFPage(std::move(p)));
}

}  // namespace qvpdf
