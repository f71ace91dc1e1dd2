#pragma once
// The inner model of the document layer: the shared, parsed template and the per-document
// overlay of changes. Only files of platform/pdf include this.

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pdf/Document.h"
#include "platform/pdf/detail/Value.h"
#include "platform/text/Typesetting.h"

namespace qvpdf::detail {

// Annotation flags we honour.
inline constexpr int kAnnotHidden = 2;
inline constexpr int kAnnotPrint = 4;
inline constexpr int kAnnotNoView = 32;
// Field flags.
inline constexpr int kFieldReadOnly = PDFFieldFlagReadOnly;
inline constexpr int kFieldMultiline = PDFFieldFlagMultiline;
inline constexpr int kFieldPassword = PDFFieldFlagPassword;
inline constexpr int kFieldComb = PDFFieldFlagComb;

// What a check box or radio button widget brings along, read once per template.
struct ButtonInfo {
    std::string onState;                                   // its own on-state name, without the slash; empty when none
    std::string state;                                     // its /AS without the slash; empty when absent
    std::optional<std::string> fieldState;                 // the field's /V name, when it has one
    std::string optionLabel;                               // the field's /Opt entry for this widget
    std::string caption;                                   // /MK /CA
    mutable QPDFObjectHandle onAppearance, offAppearance;  // its /AP /N streams, or null
    bool onDrawable = false;                               // the on appearance exists and every font it names resolves
};

// What a choice widget brings along.
struct ChoiceInfo {
    std::vector<PDFChoiceOption> options;
    int topIndex = 0;  // /TI
};

struct TemplateAnnot {
    mutable QPDFObjectHandle dict;
    QPDFObjGen og;
    int page = 0;
    std::string subtype;  // without the slash
    int flags = 0;
    double rect[4] = {0, 0, 0, 0};  // normalised
    bool hasAppearance = false;

    bool widget = false;
    std::string fieldType;  // "/Tx", inherited
    std::string fieldName;  // fully qualified
    int fieldFlags = 0;
    int maxLen = 0;
    mutable QPDFObjectHandle field;  // the dictionary that holds /V (the widget itself when merged)
    QPDFObjGen fieldOg;
    std::string value;  // /V as UTF-8

    // What the appearance of a text value needs.
    std::string defaultAppearance;
    int quadding = 0;
    int mkRotation = 0;
    std::optional<std::vector<double>> borderColor, backgroundColor;
    double borderWidth = 1;
    std::string borderStyle = "S";
    mutable std::vector<QPDFObjectHandle> fontDicts;  // /Font dictionaries to look names up in, in order

    // Set for check boxes and radio buttons, and for choice fields; text widgets carry neither.
    std::unique_ptr<ButtonInfo> button;
    std::unique_ptr<ChoiceInfo> choice;
};

struct TemplatePage {
    mutable QPDFObjectHandle dict;
    QPDFObjGen og;
    double crop[4] = {0, 0, 0, 0};
    int rotation = 0;
    std::vector<int> annots;  // indices into Template::annots, page order
    // Inheritable attributes, resolved through the page tree (null when absent).
    mutable QPDFObjectHandle resources, mediaBox, cropBox, rotate;
};

// How an encrypted template is encrypted, so that its outputs can be encrypted the same way.
// Null in a template without encryption.
struct TemplateEncryption;

// One parsed template. Never changed after loading; every document opened from the same
// bytes shares it.
struct Template {
    std::string original;  // the bytes the caller gave
    // The same bytes, shared with the writers its pages go to (which may run on other
    // threads); made when first needed.
    std::shared_ptr<const std::string> source;
    std::string base;  // the bytes updates are appended to (a clean, decrypted rewrite when needed)
    std::unique_ptr<QPDF> qpdf;
    bool encrypted = false;
    bool allowsFormFilling = true;
    std::shared_ptr<TemplateEncryption> encryption;
    bool xrefStream = false;
    long long startxref = 0;
    int size = 0;  // trailer /Size
    mutable QPDFObjectHandle trailer, root;
    QPDFObjGen rootOg;
    mutable QPDFObjectHandle acroForm;
    bool acroFormIndirect = false;
    bool needAppearances = false;
    std::vector<TemplatePage> pages;
    std::vector<TemplateAnnot> annots;
    std::map<QPDFObjGen, int> pageByOg;
    std::set<QPDFObjGen> pageTreeNodes;  // intermediate /Pages nodes
    std::map<QPDFObjGen, std::vector<int>> widgetsByField;
    std::set<int> widgetsWithoutAppearance;

    // The form's own simple font for a font dictionary; null when it is not a usable simple
    // font. Built once per font and kept.
    const SimpleFont* simpleFont(QPDFObjectHandle fontDict);

    // A template dictionary as a value of ours, converted once: entries without references
    // are kept as their PDF syntax, so writing them costs a copy.
    const Value& dictValue(QPDFObjGen og);

private:
    std::map<QPDFObjGen, std::unique_ptr<SimpleFont>> fontCache_;
    std::map<QPDFObjGen, Value> dictCache_;
};

struct State;

// An output this layer produced: the template's base followed by `tail`, or, with `whole`,
// `tail` itself (an encrypted output shares no bytes with the decrypted base).
struct CachedOutput {
    std::shared_ptr<Template> tpl;
    std::string tail;
    std::shared_ptr<const State> state;
    bool whole = false;
};

// The template objects a context has encoded for one page writer, by template bytes: later
// pages refer to them without their bodies, since the writer has them by then. Kept for the
// writer encoded for last.
struct ShippedObjects {
    uint64_t writer = 0;
    std::map<std::shared_ptr<const std::string>, std::set<std::pair<int, int>>> bySource;
};

}  // namespace qvpdf::detail

namespace qvpdf {

struct PDFContext::Impl {
    std::deque<std::shared_ptr<detail::Template>> templates;  // most recent first
    std::deque<detail::CachedOutput> outputs;                 // most recent first
    detail::ShippedObjects shipped;
    size_t parsed = 0;
};

}  // namespace qvpdf

namespace qvpdf::detail {

using ContextImpl = PDFContext::Impl;

// The template for these bytes, parsed once per context and cached there; null when they are
// no readable PDF.
[[nodiscard]] std::shared_ptr<Template> sharedTemplate(ContextImpl& context, std::string_view bytes);

struct NewObject {
    Value dict;
    std::optional<std::string> stream;  // raw (unfiltered) stream data
};

struct Replacement {
    enum class Kind { Annotation, Field, Page, Catalog, AcroForm };
    Kind kind = Kind::Annotation;
    QPDFObjGen og;
    Value dict;
};

struct AnnotRef {
    int tpl = -1;       // index into Template::annots
    int freeText = -1;  // index into State::freeTexts
};

struct FreeTextProps {
    PDFRect bounds;
    std::string contents;
    std::optional<PDFFont> font;
    PDFColor fontColor{0, 1};
    PDFColor color = PDFColor::clear();
    PDFTextAlignment alignment = PDFTextAlignment::Left;
    bool print = false;
};

struct FreeText {
    FreeTextProps props;
    int page = 0;
    int annotObj = -1;  // new object index of the annotation dictionary
    int apObj = -1;     // new object index of its appearance
    bool built = false;
};

struct WidgetFill {
    std::string value;
    int apObj = -1;  // our appearance (for a button we drew: its on appearance)
    // Buttons: the state shown (/AS) and, when we drew the widget, its off appearance.
    bool button = false;
    std::string state;
    int offObj = -1;
};

// A document's changes to its template. Copied on write once frozen (shared by a page copy
// or a remembered output), so a frozen state never changes.
struct State {
    std::shared_ptr<Template> tpl;
    std::map<int, Replacement> replaced;                  // by object number of the template
    std::vector<std::shared_ptr<const NewObject>> added;  // object number tpl->size + index
    std::vector<std::vector<AnnotRef>> pageAnnots;
    std::vector<char> annotsChanged;
    std::vector<FreeText> freeTexts;
    std::map<int, WidgetFill> fills;            // by template annotation index
    std::map<int, std::string> fieldValues;     // by field object number, UTF-8
    std::map<int, std::string> buttonStates;    // by field object number: the /V name set
    std::map<std::string, int> fontObjects;     // embedder resource name -> Type0 font object
    std::map<std::string, int> fontMapObjects;  // embedder resource name -> its CIDToGIDMap stream
    bool burned = false;
    bool changed = false;

    int addObject(NewObject object);
    void setObject(int index, NewObject object);
    int objectNumber(int index) const { return tpl->size + index; }
    // The current dictionary of a template object: the replacement or the template's own.
    Value currentDict(QPDFObjGen og) const;
    Replacement& replace(QPDFObjGen og, Replacement::Kind kind);
};

struct PageSlot {
    std::shared_ptr<const State> frozen;  // null: the document's own state
    int page = 0;
};

struct DocumentImpl {
    std::shared_ptr<State> state;  // null for a document made empty
    bool stateShared = false;
    std::vector<PageSlot> slots;
    bool composite = false;    // pages were inserted: written as a fresh file
    bool forgetFonts = false;  // a reopened output: its fonts belong to an embedder now gone
    bool fontsDirty = false;   // the embedder saw glyphs since the fonts were last written
    std::unique_ptr<FontEmbedder> embedder = std::make_unique<FontEmbedder>();
    // The context it was opened through, which remembers its outputs; empty for a document
    // made empty, and expired once its owner has ended it.
    std::weak_ptr<ContextImpl> context;

    State& mutableState();
    std::shared_ptr<const State> freeze();
};

// Gives the widget (and every other widget of its field) an appearance for the value and
// stores the value in the field.
[[nodiscard]] bool fillWidget(DocumentImpl& doc, int annotIndex, std::string_view utf8);
// Turns a check box or radio field to a state (or off), as PDFAnnotation::setButtonState.
[[nodiscard]] bool setButtonField(DocumentImpl& doc, int annotIndex, std::string_view state);
// Selects the values of a choice field, as PDFAnnotation::setChoiceValues.
[[nodiscard]] bool setChoiceField(DocumentImpl& doc, int annotIndex, const std::vector<std::string>& values);
// Builds what must exist before writing: free-text appearances, embedded fonts, appearances
// for valued widgets that have none.
// With `burn`, also widgets whose value the template set without an appearance get one.
[[nodiscard]] bool prepareForWrite(DocumentImpl& doc, bool burn);
// A copy of the state with every visible annotation drawn into its page and the form gone.
[[nodiscard]] std::shared_ptr<State> burnIn(const State& state);

// The template's base bytes followed by an update holding the state's changes. `tail`
// receives the update alone.
[[nodiscard]] std::optional<std::string> writeUpdate(const State& state, std::string* tail);
// A fresh file holding the pages of the slots (all frozen) in order.
[[nodiscard]] std::optional<std::string> writeFresh(const std::vector<PageSlot>& slots);

// Outputs this layer produced, kept in the context of the document that produced them so that
// opening them again costs no parse (a CachedOutput each).
void rememberOutput(ContextImpl& context, const std::shared_ptr<Template>& tpl, std::string tail,
                    std::shared_ptr<const State> state, bool whole = false);
[[nodiscard]] std::shared_ptr<const State> recallOutput(const ContextImpl& context, std::string_view bytes);

// Template helpers shared by the writers.
QPDFObjectHandle normalAppearance(QPDFObjectHandle annotDict);
void normaliseRect(QPDFObjectHandle array, double out[4]);

}  // namespace qvpdf::detail
