// PDFAnnotation: a template annotation seen through a document's state, or a free-text
// annotation of ours.

#include "platform/pdf/detail/PageAnnotation.h"

namespace qvpdf {

using namespace detail;

PDFAnnotation::PDFAnnotation(std::unique_ptr<Private> p) : p_(std::move(p)) {}
PDFAnnotation::~PDFAnnotation() = default;

namespace {

const TemplateAnnot* templateAnnot(const PDFAnnotation::Private& p) {
    const State* s = p.state();
    if (!s || p.tplAnnot < 0) return nullptr;
    return &s->tpl->annots[static_cast<size_t>(p.tplAnnot)];
}

const FreeTextProps* freeTextProps(const PDFAnnotation::Private& p) {
    if (p.isLooseFreeText) return &p.loose;
    const State* s = p.state();
    if (!s || p.freeText < 0) return nullptr;
    return &s->freeTexts[static_cast<size_t>(p.freeText)].props;
}

// The properties to change, or null when the annotation cannot be changed.
FreeTextProps* editableProps(PDFAnnotation::Private& p) {
    if (p.isLooseFreeText) return &p.loose;
    if (p.frozen || !p.doc || !p.doc->state || p.freeText < 0) return nullptr;
    State& s = p.doc->mutableState();
    FreeText& ft = s.freeTexts[static_cast<size_t>(p.freeText)];
    ft.built = false;
    s.changed = true;
    return &ft.props;
}

}  // namespace

std::shared_ptr<PDFAnnotation> PDFAnnotation::initWithBounds(const PDFRect& bounds, std::string_view type) {
    if (type != PDFAnnotationSubtypeFreeText) return nullptr;
    if (!(bounds.width >= 0 && bounds.height >= 0)) return nullptr;
    auto p = std::make_unique<Private>();
    p->isLooseFreeText = true;
    p->loose.bounds = bounds;
    return std::shared_ptr<PDFAnnotation>(new PDFAnnotation(std::move(p)));
}

std::string PDFAnnotation::type() const {
    if (const TemplateAnnot* a = templateAnnot(*p_)) return a->subtype;
    return std::string(PDFAnnotationSubtypeFreeText);
}

PDFRect PDFAnnotation::bounds() const {
    if (const TemplateAnnot* a = templateAnnot(*p_))
        return PDFRect{a->rect[0], a->rect[1], a->rect[2] - a->rect[0], a->rect[3] - a->rect[1]};
    if (const FreeTextProps* f = freeTextProps(*p_)) return f->bounds;
    return {};
}

std::string PDFAnnotation::widgetFieldType() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    return a && a->widget ? a->fieldType : std::string();
}

std::string PDFAnnotation::fieldName() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    return a && a->widget ? a->fieldName : std::string();
}

bool PDFAnnotation::isReadOnly() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    return a && a->widget && (a->fieldFlags & kFieldReadOnly);
}

bool PDFAnnotation::isPasswordField() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    return a && a->widget && a->fieldType == PDFAnnotationWidgetSubtypeText && (a->fieldFlags & kFieldPassword);
}

int PDFAnnotation::maximumLength() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    return a && a->widget ? a->maxLen : 0;
}

int PDFAnnotation::fieldFlags() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    return a && a->widget ? a->fieldFlags : 0;
}

std::string PDFAnnotation::buttonOnState() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    return a && a->button ? a->button->onState : std::string();
}

std::string PDFAnnotation::buttonOptionLabel() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    return a && a->button ? a->button->optionLabel : std::string();
}

std::string PDFAnnotation::buttonState() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    if (!a || !a->button) return {};
    const State* s = p_->state();
    std::string state;
    auto found = s->buttonStates.find(a->fieldOg.getObj());
    if (found != s->buttonStates.end())
        state = found->second;
    else if (a->button->fieldState)
        state = *a->button->fieldState;
    else
        state = a->button->state;
    return state.empty() ? std::string("Off") : state;
}

std::vector<PDFChoiceOption> PDFAnnotation::choiceOptions() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    return a && a->choice ? a->choice->options : std::vector<PDFChoiceOption>();
}

bool PDFAnnotation::setButtonState(std::string_view state) {
    const TemplateAnnot* a = templateAnnot(*p_);
    if (!a || !a->button || p_->frozen || !p_->doc) return false;
    try {
        return setButtonField(*p_->doc, p_->tplAnnot, state);
    } catch (...) {
        return false;
    }
}

bool PDFAnnotation::setChoiceValues(const std::vector<std::string>& values) {
    const TemplateAnnot* a = templateAnnot(*p_);
    if (!a || !a->choice || p_->frozen || !p_->doc) return false;
    try {
        return setChoiceField(*p_->doc, p_->tplAnnot, values);
    } catch (...) {
        return false;
    }
}

std::string PDFAnnotation::widgetStringValue() const {
    const TemplateAnnot* a = templateAnnot(*p_);
    if (!a || !a->widget) return {};
    const State* s = p_->state();
    auto found = s->fieldValues.find(a->fieldOg.getObj());
    return found != s->fieldValues.end() ? found->second : a->value;
}

bool PDFAnnotation::setWidgetStringValue(std::string_view utf8) {
    const TemplateAnnot* a = templateAnnot(*p_);
    if (!a || !a->widget || p_->frozen || !p_->doc) return false;
    try {
        return fillWidget(*p_->doc, p_->tplAnnot, utf8);
    } catch (...) {
        return false;
    }
}

std::string PDFAnnotation::contents() const {
    if (const FreeTextProps* f = freeTextProps(*p_)) return f->contents;
    if (const TemplateAnnot* a = templateAnnot(*p_)) {
        try {
            QPDFObjectHandle dict = a->dict;
            QPDFObjectHandle c = dict.getKey("/Contents");
            return c.isString() ? c.getUTF8Value() : std::string();
        } catch (...) {
            return {};
        }
    }
    return {};
}

void PDFAnnotation::setContents(std::string_view utf8) {
    if (FreeTextProps* f = editableProps(*p_)) f->contents.assign(utf8);
}

std::optional<PDFFont> PDFAnnotation::font() const {
    const FreeTextProps* f = freeTextProps(*p_);
    return f ? f->font : std::nullopt;
}

void PDFAnnotation::setFont(const PDFFont& font) {
    if (!font.face || !(font.size > 0)) return;
    if (FreeTextProps* f = editableProps(*p_)) f->font = font;
}

PDFColor PDFAnnotation::fontColor() const {
    const FreeTextProps* f = freeTextProps(*p_);
    return f ? f->fontColor : PDFColor{};
}

void PDFAnnotation::setFontColor(const PDFColor& color) {
    if (FreeTextProps* f = editableProps(*p_)) f->fontColor = color;
}

PDFColor PDFAnnotation::color() const {
    const FreeTextProps* f = freeTextProps(*p_);
    return f ? f->color : PDFColor::clear();
}

void PDFAnnotation::setColor(const PDFColor& color) {
    if (FreeTextProps* f = editableProps(*p_)) f->color = color;
}

PDFTextAlignment PDFAnnotation::alignment() const {
    if (const TemplateAnnot* a = templateAnnot(*p_); a && a->widget) return static_cast<PDFTextAlignment>(a->quadding);
    const FreeTextProps* f = freeTextProps(*p_);
    return f ? f->alignment : PDFTextAlignment::Left;
}

void PDFAnnotation::setAlignment(PDFTextAlignment alignment) {
    if (FreeTextProps* f = editableProps(*p_)) f->alignment = alignment;
}

bool PDFAnnotation::shouldPrint() const {
    if (const FreeTextProps* f = freeTextProps(*p_)) return f->print;
    if (const TemplateAnnot* a = templateAnnot(*p_)) return a->flags & kAnnotPrint;
    return false;
}

void PDFAnnotation::setShouldPrint(bool print) {
    if (FreeTextProps* f = editableProps(*p_)) f->print = print;
}

}  // namespace qvpdf
