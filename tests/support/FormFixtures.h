#pragma once
// PDF files written by code for tests: PdfWriter lays out any objects with a correct
// cross-reference table; FormBuilder (a form's structure: fields, kids, pages, other
// annotations) and makeForm (widgets with their own rectangles, /DA and entries) write small
// forms with it. Object bodies are raw PDF syntax, so a test can write a broken or hostile
// object too; the file around it is always well-formed, so it is broken only as intended.

#include <optional>
#include <string>
#include <vector>

namespace qvfixture {

// "N 0 R".
std::string ref(int object);
// A stream object's body: a dictionary of `entries` (without << >>) and /Length, and `data`.
std::string streamObject(const std::string& entries, const std::string& data);

// Raw object bodies, numbered from 1 in the order added, written out as a PDF file.
class PdfWriter {
public:
    // The next object number (from 1), its body given now or later with set().
    int add(std::string body);
    int reserve() { return add(""); }
    int addStream(const std::string& entries, const std::string& data) { return add(streamObject(entries, data)); }
    void set(int object, std::string body);
    int size() const { return static_cast<int>(objects_.size()); }

    // Written after a header with a binary comment line, then a classic cross-reference table
    // and a trailer naming `root` as the catalog and holding `trailerExtra` ("/Info 7 0 R").
    std::string build(int root = 1, const std::string& trailerExtra = "") const;

    // Marks `object` as the `index`-th object of object stream `stream`, whose data the test
    // writes itself; it is then not written at the top level (and is free in a classic table).
    void placeInObjectStream(int object, int stream, int index = 0);
    // The file found through a cross-reference stream, added as the last object, instead of a
    // table: the only way to reach objects placed in object streams.
    std::string buildWithXrefStream(int root = 1) const;

private:
    struct Placement {
        int stream = 0;  // 0: at the top level
        int index = 0;
    };
    std::vector<std::string> objects_;
    std::vector<Placement> placement_;

    // The header and every top-level object; `offsets` gets each object's offset (0 for none).
    std::string header(std::vector<size_t>& offsets) const;
};

// A PDF of the given object bodies, numbered from 1; see PdfWriter::build.
std::string makePdf(const std::vector<std::string>& objects, int root = 1, const std::string& trailerExtra = "");

// Field flags (/Ff bits) the tests use.
inline constexpr int kReadOnly = 1 << 0;
inline constexpr int kRequired = 1 << 1;
inline constexpr int kMultiline = 1 << 12;
inline constexpr int kPassword = 1 << 13;
inline constexpr int kRadio = 1 << 15;
inline constexpr int kPushButton = 1 << 16;
inline constexpr int kCombo = 1 << 17;

struct FieldSpec {
    std::optional<std::string> name;  // partial name (/T), UTF-8; none = no /T at all
    std::string type = "/Tx";         // /FT; empty = none (inherited from a parent, or absent)
    int flags = 0;                    // /Ff
    int maxLength = 0;                // /MaxLen, written when above 0
    int parent = -1;                  // index of the parent field; -1 = a top-level field
};

class FormBuilder {
public:
    // Returns the field's index. A field with exactly one widget and no child fields is written
    // as one merged field-and-widget dictionary; otherwise its widgets become its kids.
    int addField(FieldSpec spec);
    int addText(const std::string& name, int flags = 0) { return addField({name, "/Tx", flags}); }
    // Returns the page's index. `text` is drawn on the page as ordinary page content.
    int addPage(const std::string& text = "");
    // Page geometry: media box [x0 y0 x1 y1] (default 0 0 595 842), an optional crop box and
    // /Rotate (written when not 0).
    void setMediaBox(int page, double x0, double y0, double x1, double y1);
    void setCropBox(int page, double x0, double y0, double x1, double y1);
    void setRotation(int page, int degrees);
    // Annotations, appended to the page's /Annots in call order.
    void addWidget(int page, int field);
    void addLink(int page);
    void addNote(int page);

    std::string build() const;

private:
    struct Geometry {
        std::string mediaBox = "[0 0 595 842]";
        std::string cropBox;  // empty: none
        int rotation = 0;
    };
    struct Annot {
        enum Kind { widget, link, note } kind;
        int field = -1;
    };
    std::vector<FieldSpec> fields_;
    std::vector<std::string> pageTexts_;
    std::vector<std::vector<Annot>> pages_;
    std::vector<Geometry> geometry_;
};

// A one-page form with one text field per name, each shown by one widget, in order.
std::string textForm(const std::vector<std::string>& names);

// A widget-and-field of makeForm: one widget, optionally the kid of a parent field.
struct FixtureField {
    std::string name;    // partial name; empty for a widget of its parent field
    std::string parent;  // partial name of a parent field; empty for none
    double rect[4] = {72, 700, 300, 720};
    int page = 0;
    int flags = 0;       // field flags
    int annotFlags = 4;  // annotation flags (print)
    int maxLen = 0;
    std::string type = "Tx";
    std::string da = "/Helv 12 Tf 0 g";
    int quadding = 0;   // /Q
    std::string extra;  // further widget entries; "@N" stands for extra object N
};

inline const char* kHelveticaFont = "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding>>";

// A form of US letter pages, each with the text "Static page N", the font dictionary as /Helv
// in /DR (Helvetica unless told) and the given fields.
std::string makeForm(const std::vector<FixtureField>& fields, int pages = 1, const std::string& helv = kHelveticaFont);

// The same with objects of the test's own (bodies, numbered after the fields), which fields'
// `extra` entries refer to as "@0", "@1", ...; `needAppearances` asks viewers to make them.
std::string makeForm(const std::vector<FixtureField>& fields, const std::vector<std::string>& objects,
                     bool needAppearances);

}  // namespace qvfixture
