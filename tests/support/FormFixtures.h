#pragma once
// Small PDF forms written from a description, for tests that need a chosen set of widgets.
// The PDF syntax is produced by code (with a correct cross-reference table), never by hand.

#include <optional>
#include <string>
#include <vector>

namespace qvfixture {

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

}  // namespace qvfixture
