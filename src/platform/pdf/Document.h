#pragma once
// PDF documents, pages and annotations: the operations the template reader and the merge
// engine use, on top of QPDF. No QPDF type or exception ever leaves this layer; a damaged or
// unusable input gives an empty result.
//
// Documents opened from the same template bytes through the same PDFContext share one parsed,
// immutable copy of the template; each document keeps its own changes as an overlay, and its
// PDF data is the template's bytes followed by an incremental update that holds only those
// changes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/Typesetting.h"

namespace qvpdf {

namespace detail {
struct DocumentImpl;
struct PageKey;
}  // namespace detail

class PDFPage;
class PDFAnnotation;

// Values of PDFAnnotation::type().
inline constexpr std::string_view PDFAnnotationSubtypeWidget = "Widget";
inline constexpr std::string_view PDFAnnotationSubtypeFreeText = "FreeText";
// Values of PDFAnnotation::widgetFieldType().
inline constexpr std::string_view PDFAnnotationWidgetSubtypeText = "/Tx";
inline constexpr std::string_view PDFAnnotationWidgetSubtypeButton = "/Btn";
inline constexpr std::string_view PDFAnnotationWidgetSubtypeChoice = "/Ch";
inline constexpr std::string_view PDFAnnotationWidgetSubtypeSignature = "/Sig";

// Field flag bits (/Ff), public so that callers can classify widgets.
inline constexpr int PDFFieldFlagReadOnly = 1;
inline constexpr int PDFFieldFlagRequired = 1 << 1;
inline constexpr int PDFFieldFlagMultiline = 1 << 12;
inline constexpr int PDFFieldFlagPassword = 1 << 13;
inline constexpr int PDFFieldFlagNoToggleToOff = 1 << 14;
inline constexpr int PDFFieldFlagRadio = 1 << 15;
inline constexpr int PDFFieldFlagPushButton = 1 << 16;
inline constexpr int PDFFieldFlagCombo = 1 << 17;
inline constexpr int PDFFieldFlagEdit = 1 << 18;
inline constexpr int PDFFieldFlagMultiSelect = 1 << 21;
inline constexpr int PDFFieldFlagComb = 1 << 24;
inline constexpr int PDFFieldFlagRadiosInUnison = 1 << 25;

// One entry of a choice field's /Opt.
struct PDFChoiceOption {
    std::string exportValue;  // UTF-8; equals displayText when /Opt holds a plain string
    std::string displayText;
};

struct PDFRect {
    double x = 0, y = 0, width = 0, height = 0;  // points, page space, y upwards
};

// A colour as annotations use it: a calibrated grey with alpha; alpha 0 is the clear colour.
struct PDFColor {
    double white = 0;
    double alpha = 1;
    static PDFColor calibratedWhite(double white, double alpha) { return {white, alpha}; }
    static PDFColor clear() { return {0, 0}; }
    bool isClear() const { return alpha <= 0; }
};

struct PDFFont {
    FaceRef face;
    double size = 12;
};

enum class PDFTextAlignment { Left = 0, Center = 1, Right = 2 };

struct PDFWriteOptions {
    bool burnInAnnotations = false;  // draw every annotation and field into the page content
};

// What the PDF layer keeps between documents: the templates it parsed, the outputs it made
// lately (so that opening one again, as combined output does with every record, costs no
// parse) and the template objects it encoded for a page writer (so that they go to the writer
// once). Its owner decides how long that lives: the caches end with the context.
//
// A context, and every document opened through it, belongs to one thread at a time: a parsed
// template holds QPDF objects and caches that fill as they are read. A merge makes one per
// thread it builds records on. A document keeps its context's caches up to date only while the
// context lives; a document that outlives its context still works, it only stops caching.
class PDFContext {
public:
    PDFContext();
    ~PDFContext();
    PDFContext(const PDFContext&) = delete;
    PDFContext& operator=(const PDFContext&) = delete;

    // The calling thread's own context, which the calls that are given none use; it ends with
    // the thread.
    static PDFContext& ofThisThread();

    // How many template bytes this context has parsed (opening the same bytes again does not
    // count): what reopening costs.
    size_t templatesParsed() const;

    struct Impl;

private:
    friend class PDFDocument;
    friend class PDFPageWriter;
    std::shared_ptr<Impl> impl_;
};

class PDFDocument {
public:
    // Opens PDF bytes through the calling thread's context; null for bytes that are not a
    // readable PDF.
    [[nodiscard]] static std::shared_ptr<PDFDocument> initWithData(std::string_view bytes);
    // The same through `context`: the template is parsed unless the context has parsed these
    // bytes lately or made them itself, and what the document writes is remembered there.
    [[nodiscard]] static std::shared_ptr<PDFDocument> initWithData(std::string_view bytes, PDFContext& context);
    // An empty document without pages.
    static std::shared_ptr<PDFDocument> init();
    // Bytes that do not open (initWithData gives null): true when they are an encrypted PDF that
    // a password other than the empty one would open.
    static bool dataNeedsPassword(std::string_view bytes);

    // True for any encryption, also one that opens without a password.
    bool isEncrypted() const;
    // True for an unencrypted document; for an encrypted one, true when its permissions allow
    // filling in form fields or modifying annotations.
    bool allowsFormFilling() const;
    size_t pageCount() const;
    // Null for an index at or beyond pageCount.
    [[nodiscard]] std::shared_ptr<PDFPage> pageAtIndex(size_t index) const;
    // The page (a copy from any document) becomes the page at `index`; at pageCount it is
    // appended. False for an index beyond pageCount or a page without content.
    [[nodiscard]] bool insertPage(const std::shared_ptr<PDFPage>& page, size_t index);

    // The complete PDF bytes with the values set and the annotations added; null on failure.
    // The output of an encrypted document is encrypted as its template is (method, permissions,
    // passwords); a document of inserted pages is encrypted as their templates are, and gives
    // null when those are not all encrypted the same way.
    [[nodiscard]] std::optional<std::string> dataRepresentation();
    [[nodiscard]] std::optional<std::string> dataRepresentationWithOptions(const PDFWriteOptions& options);

    ~PDFDocument();
    PDFDocument(const PDFDocument&) = delete;
    PDFDocument& operator=(const PDFDocument&) = delete;

private:
    friend class PDFPageWriter;
    explicit PDFDocument(std::shared_ptr<detail::DocumentImpl> impl);
    std::shared_ptr<detail::DocumentImpl> impl_;
};

// Pages made ready for one PDFPageWriter: every object they need as bytes, streams compressed,
// references still open. Holds nothing of the document they came from, so they may be made on
// the document's thread and appended on the writer's.
class PDFEncodedPages {
public:
    PDFEncodedPages(PDFEncodedPages&&) noexcept;
    PDFEncodedPages& operator=(PDFEncodedPages&&) noexcept;
    ~PDFEncodedPages();
    size_t pageCount() const;

    struct Impl;

private:
    friend class PDFPageWriter;
    explicit PDFEncodedPages(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// A new PDF written as its pages come, for files too large to hold: each page goes out with
// the objects it uses as soon as it is appended, and objects written before (a shared font, an
// identical appearance) are referred to, not written again. Encrypted pages are refused: such a
// file must be encrypted as a whole. The bytes are the same kind of file dataRepresentation
// gives for a document of inserted pages.
//
// The writer belongs to the thread that made it. Pages may be encoded for it on other threads
// (encodePages), each on the thread that owns the document; the document's context leaves out
// the template objects it encoded for this writer before, so the pages encoded through one
// context must be appended in the order they were encoded. Pages appended out of that order
// fail rather than make a broken file.
class PDFPageWriter {
public:
    // `write` takes the next bytes of the file; `readBack` reads `length` bytes it took before,
    // from `offset`, into `into`. Either answers false on failure, which ends the file.
    using Write = std::function<bool(std::string_view bytes)>;
    using ReadBack = std::function<bool(uint64_t offset, size_t length, char* into)>;
    PDFPageWriter(Write write, ReadBack readBack);
    ~PDFPageWriter();
    PDFPageWriter(const PDFPageWriter&) = delete;
    PDFPageWriter& operator=(const PDFPageWriter&) = delete;

    // Every page of `document`, in order, as insertPage would take them. False when a page
    // cannot be written (an encrypted one among them) or writing failed; nothing more can
    // be written after a failure.
    [[nodiscard]] bool appendPages(PDFDocument& document);
    // Every page of `document`, encoded for this writer on the calling thread, which must own
    // `document`, through the context `document` was opened through (a document made by init,
    // or whose context has ended, shares nothing with pages encoded before). Reads nothing of
    // the writer but its identity, so any thread may call it while the writer appends. Empty
    // when a page cannot be written (an encrypted one among them).
    [[nodiscard]] std::optional<PDFEncodedPages> encodePages(PDFDocument& document) const;
    // Appends pages encodePages made for this writer; the same as appendPages of their document.
    [[nodiscard]] bool appendEncoded(const PDFEncodedPages& pages);
    size_t pageCount() const;
    // The page tree, the cross-reference table and the trailer: the file is complete.
    [[nodiscard]] bool finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class PDFPage {
public:
    // The page's annotations in the page's own order.
    std::vector<std::shared_ptr<PDFAnnotation>> annotations() const;
    // The crop box (within the media box), origin and size.
    PDFRect cropBox() const;
    // Rotation in degrees as the page stores it.
    int rotation() const;
    // Adds a free-text annotation made with PDFAnnotation::initWithBounds. False when the
    // annotation belongs to a page already or the page cannot take annotations.
    [[nodiscard]] bool addAnnotation(const std::shared_ptr<PDFAnnotation>& annotation);
    // A copy that can be inserted into another document: it holds the page as it is now.
    [[nodiscard]] std::shared_ptr<PDFPage> copy() const;

    ~PDFPage();
    struct Private;

private:
    friend class PDFDocument;
    friend class PDFAnnotation;
    explicit PDFPage(std::unique_ptr<Private> p);
    std::unique_ptr<Private> p_;
};

class PDFAnnotation {
public:
    // A free-text annotation over the bounds, not yet on a page; null for other types.
    [[nodiscard]] static std::shared_ptr<PDFAnnotation> initWithBounds(const PDFRect& bounds, std::string_view type);

    // "Widget", "FreeText", "Link", ... (the /Subtype without its slash).
    std::string type() const;
    PDFRect bounds() const;

    // Widgets: the inherited field type ("/Tx" for text), the fully qualified field name
    // (parent.child), the field flags and the inherited maximum length (0 for none).
    std::string widgetFieldType() const;
    std::string fieldName() const;
    bool isReadOnly() const;
    bool isPasswordField() const;
    int maximumLength() const;
    // Widgets: the inherited field flags (/Ff); 0 for other annotations.
    int fieldFlags() const;
    // The field's value as UTF-8; empty when it has none. For a choice field, its /V text
    // (the first one of several).
    std::string widgetStringValue() const;
    // Sets the field's value and gives every widget of the field an appearance showing it.
    [[nodiscard]] bool setWidgetStringValue(std::string_view utf8);

    // Button widgets: this widget's own on-state, the name (without slash, UTF-8 as written)
    // of the entry of its /AP /N (or /AP /D when /N has none) that is not "Off"; empty when none.
    std::string buttonOnState() const;
    // Button widgets of a field with /Opt: the export label of this widget (the /Opt entry at
    // this widget's index among the field's widgets, /Kids order); empty without /Opt.
    std::string buttonOptionLabel() const;
    // Button widgets: the state the field holds now (its /V name, or this widget's /AS when
    // the field has no /V), "Off" when off.
    std::string buttonState() const;
    // Choice widgets (/Ch): the options of /Opt in order (each a string, or a two-element
    // array [export, display]).
    std::vector<PDFChoiceOption> choiceOptions() const;
    // Check boxes and radio buttons: turns the field to `state` (an on-state name of one of
    // its widgets) or off ("Off" or empty). The field's /V becomes that name (/Off for off);
    // every widget of the field gets /AS = state when that is its own on-state, else /Off.
    // (Radios in unison: every widget with that on-state is on.) False for a push button, a
    // non-button, or a state that no widget of the field has.
    [[nodiscard]] bool setButtonState(std::string_view state);
    // Combo boxes and list boxes: selects `values` (export values; a combo box that is
    // editable may hold any text; several only for a multi-select list). /V is a text string
    // for one value, an array for several, removed for none; list boxes also get /I (sorted
    // option indices); each widget gets an appearance drawn by us. False for a non-choice or
    // values the field cannot hold.
    [[nodiscard]] bool setChoiceValues(const std::vector<std::string>& values);

    // Free-text annotations.
    std::string contents() const;
    void setContents(std::string_view utf8);
    std::optional<PDFFont> font() const;
    void setFont(const PDFFont& font);
    PDFColor fontColor() const;
    void setFontColor(const PDFColor& color);
    PDFColor color() const;
    void setColor(const PDFColor& color);
    PDFTextAlignment alignment() const;
    void setAlignment(PDFTextAlignment alignment);
    bool shouldPrint() const;
    void setShouldPrint(bool print);

    ~PDFAnnotation();
    struct Private;

private:
    friend class PDFPage;
    explicit PDFAnnotation(std::unique_ptr<Private> p);
    std::unique_ptr<Private> p_;
};

}  // namespace qvpdf
