// PDFDocument: a shared template plus this document's overlay of changes.

#include <map>

#include "platform/pdf/detail/Encryption.h"
#include "platform/pdf/detail/Internal.h"
#include "platform/pdf/detail/PageAnnotation.h"

namespace qvpdf {

using namespace detail;

namespace detail {

int State::addObject(NewObject object) {
    added.push_back(std::make_shared<const NewObject>(std::move(object)));
    return static_cast<int>(added.size()) - 1;
}

void State::setObject(int index, NewObject object) {
    added[static_cast<size_t>(index)] = std::make_shared<const NewObject>(std::move(object));
}

Value State::currentDict(QPDFObjGen og) const {
    auto found = replaced.find(og.getObj());
    if (found != replaced.end()) return found->second.dict;
    return tpl->dictValue(og);
}

Replacement& State::replace(QPDFObjGen og, Replacement::Kind kind) {
    auto found = replaced.find(og.getObj());
    if (found != replaced.end()) return found->second;
    Replacement r;
    r.kind = kind;
    r.og = og;
    r.dict = tpl->dictValue(og);
    return replaced.emplace(og.getObj(), std::move(r)).first->second;
}

State& DocumentImpl::mutableState() {
    if (stateShared) {
        state = std::make_shared<State>(*state);
        stateShared = false;
        if (forgetFonts) {
            state->fontObjects.clear();
            state->fontMapObjects.clear();
            forgetFonts = false;
        }
    }
    return *state;
}

std::shared_ptr<const State> DocumentImpl::freeze() {
    stateShared = true;
    return state;
}

namespace {

std::shared_ptr<DocumentImpl> openTemplate(std::shared_ptr<Template> tpl) {
    auto impl = std::make_shared<DocumentImpl>();
    auto state = std::make_shared<State>();
    state->tpl = std::move(tpl);
    for (const auto& page : state->tpl->pages) {
        std::vector<AnnotRef> refs;
        refs.reserve(page.annots.size());
        for (int a : page.annots) refs.push_back(AnnotRef{a, -1});
        state->pageAnnots.push_back(std::move(refs));
    }
    state->annotsChanged.assign(state->pageAnnots.size(), 0);
    impl->state = std::move(state);
    for (size_t i = 0; i < impl->state->pageAnnots.size(); ++i)
        impl->slots.push_back(PageSlot{nullptr, static_cast<int>(i)});
    return impl;
}

std::shared_ptr<DocumentImpl> openOutput(std::shared_ptr<const State> produced) {
    auto impl = std::make_shared<DocumentImpl>();
    // Shared and frozen: the first change copies it.
    impl->state = std::const_pointer_cast<State>(produced);
    impl->stateShared = true;
    impl->forgetFonts = true;
    for (size_t i = 0; i < produced->pageAnnots.size(); ++i)
        impl->slots.push_back(PageSlot{nullptr, static_cast<int>(i)});
    return impl;
}

// An output of `doc`, kept in its context while that lives.
void remember(const DocumentImpl& doc, std::string tail, std::shared_ptr<const State> out, bool whole) {
    if (std::shared_ptr<ContextImpl> context = doc.context.lock())
        rememberOutput(*context, doc.state->tpl, std::move(tail), std::move(out), whole);
}

}  // namespace

}  // namespace detail

PDFDocument::PDFDocument(std::shared_ptr<DocumentImpl> impl) : impl_(std::move(impl)) {}
PDFDocument::~PDFDocument() = default;

std::shared_ptr<PDFDocument> PDFDocument::initWithData(std::string_view bytes) {
    return initWithData(bytes, PDFContext::ofThisThread());
}

std::shared_ptr<PDFDocument> PDFDocument::initWithData(std::string_view bytes, PDFContext& context) {
    try {
        ContextImpl& caches = *context.impl_;
        std::shared_ptr<DocumentImpl> impl;
        if (auto produced = recallOutput(caches, bytes)) {
            impl = openOutput(produced);
        } else {
            auto tpl = sharedTemplate(caches, bytes);
            if (!tpl) return nullptr;
            impl = openTemplate(std::move(tpl));
        }
        impl->context = context.impl_;
        return std::shared_ptr<PDFDocument>(new PDFDocument(std::move(impl)));
    } catch (...) {
        return nullptr;
    }
}

std::shared_ptr<PDFDocument> PDFDocument::init() {
    return std::shared_ptr<PDFDocument>(new PDFDocument(std::make_shared<DocumentImpl>()));
}

bool PDFDocument::dataNeedsPassword(std::string_view bytes) { return bytesNeedPassword(bytes); }

bool PDFDocument::isEncrypted() const { return impl_->state && impl_->state->tpl->encrypted; }

bool PDFDocument::allowsFormFilling() const { return !impl_->state || impl_->state->tpl->allowsFormFilling; }

size_t PDFDocument::pageCount() const { return impl_->slots.size(); }

std::shared_ptr<PDFPage> PDFDocument::pageAtIndex(size_t index) const {
    if (index >= impl_->slots.size()) return nullptr;
    const PageSlot& slot = impl_->slots[index];
    auto p = std::make_unique<PDFPage::Private>();
    p->doc = impl_;
    p->frozen = slot.frozen;
    p->page = slot.page;
    return std::shared_ptr<PDFPage>(new PDFPage(std::move(p)));
}

bool PDFDocument::insertPage(const std::shared_ptr<PDFPage>& page, size_t index) {
    if (!page || index > impl_->slots.size()) return false;
    try {
        const PDFPage::Private& p = *page->p_;
        std::shared_ptr<const State> frozen = p.frozen;
        if (!frozen) {
            if (!p.doc || !p.doc->state || !prepareForWrite(*p.doc, false)) return false;
            frozen = p.doc->freeze();
        }
        if (p.page < 0 || static_cast<size_t>(p.page) >= frozen->pageAnnots.size()) return false;
        impl_->slots.insert(impl_->slots.begin() + static_cast<std::ptrdiff_t>(index), PageSlot{frozen, p.page});
        impl_->composite = true;
        return true;
    } catch (...) {
        return false;
    }
}

std::optional<std::string> PDFDocument::dataRepresentation() {
    return dataRepresentationWithOptions(PDFWriteOptions{});
}

std::optional<std::string> PDFDocument::dataRepresentationWithOptions(const PDFWriteOptions& options) {
    try {
        DocumentImpl& d = *impl_;
        bool burn = options.burnInAnnotations;
        if (d.state && !prepareForWrite(d, burn)) return std::nullopt;
        if (d.composite || !d.state) {
            // Every distinct state is burned once, however many of its pages are here.
            std::map<const State*, std::shared_ptr<const State>> burned;
            std::vector<PageSlot> slots;
            slots.reserve(d.slots.size());
            for (const PageSlot& slot : d.slots) {
                std::shared_ptr<const State> s = slot.frozen ? slot.frozen : d.freeze();
                if (burn && !s->burned) {
                    auto& b = burned[s.get()];
                    if (!b) b = burnIn(*s);
                    s = b;
                }
                slots.push_back(PageSlot{s, slot.page});
            }
            std::shared_ptr<TemplateEncryption> encryption;
            if (!sharedEncryption(slots, &encryption)) return std::nullopt;
            auto bytes = writeFresh(slots);
            if (!bytes || !encryption) return bytes;
            return encryptLike(*encryption, *bytes);
        }
        const Template& t = *d.state->tpl;
        std::shared_ptr<const State> out = burn && !d.state->burned ? burnIn(*d.state) : d.freeze();
        if (t.encryption) {
            // Untouched, the template itself; otherwise the plain update, encrypted anew.
            if (out->replaced.empty() && out->added.empty()) return t.original;
            auto plain = writeUpdate(*out, nullptr);
            if (!plain) return std::nullopt;
            std::string bytes = encryptLike(*t.encryption, *plain);
            if (burn) remember(d, bytes, out, true);
            return bytes;
        }
        // Burned-in data is opened again right away (combined output); remember it so that
        // this costs no parse.
        std::string tail;
        auto bytes = writeUpdate(*out, burn ? &tail : nullptr);
        if (!bytes) return std::nullopt;
        if (!tail.empty()) remember(d, std::move(tail), out, false);
        return bytes;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace qvpdf
