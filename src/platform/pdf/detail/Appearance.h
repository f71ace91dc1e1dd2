#pragma once
// Appearance streams for filled text fields and free-text annotations, built from plain data
// so that this code never touches QPDF. The document layer reads the widget's dictionaries,
// fills a request, and turns the answer into an appearance XObject whose /Resources /Font
// maps each used resource name to the form's own font (from /DR) or to a font that the
// FontEmbedder builds at write time.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/text/Typesetting.h"

namespace qvpdf {

struct TextFieldAppearanceRequest {
    std::string value;              // UTF-8, exactly as stored in /V
    double rect[4] = {0, 0, 0, 0};  // widget /Rect, normalised (llx, lly, urx, ury)
    int rotation = 0;               // /MK /R: 0, 90, 180 or 270
    std::string defaultAppearance;  // /DA, inherited or from the AcroForm
    // The form's own font for a /DA font resource name, or null when /DR has no usable
    // simple font of that name.
    std::function<const SimpleFont*(const std::string& resourceName)> formFont;
    int quadding = 0;                                    // /Q: 0 left, 1 centred, 2 right
    bool multiline = false;                              // field flag 13
    bool comb = false;                                   // field flag 25 (with maxLen > 0)
    int maxLen = 0;                                      // /MaxLen, 0 for none
    std::optional<std::vector<double>> borderColor;      // /MK /BC (1, 3 or 4 components)
    std::optional<std::vector<double>> backgroundColor;  // /MK /BG
    double borderWidth = 1;                              // /BS /W (or /Border), 0 for none
    std::string borderStyle = "S";                       // /BS /S
};

// The part of a text field's value that its appearance can show: the whole value, unless it is
// far longer than the field could hold at the smallest size its text is drawn in; then the
// start of it (left-aligned or multi-line), the end (right-aligned) or the middle (centred), in
// whole characters. Never more than kMostDrawnCharacters characters. The field's /V keeps the
// whole value.
inline constexpr size_t kMostDrawnCharacters = size_t{1} << 20;
std::string_view drawablePart(std::string_view value, const TextFieldAppearanceRequest& request);

struct Appearance {
    std::string content;                    // the content stream
    double bbox[4] = {0, 0, 0, 0};          // /BBox
    double matrix[6] = {1, 0, 0, 1, 0, 0};  // /Matrix
    // Resource names the content uses: form fonts by their /DR name, embedded faces by the
    // FontEmbedder's resource name.
    std::vector<std::string> formFonts;
    std::vector<std::string> embeddedFonts;
    // The content selects the standard ZapfDingbats font as /ZaDb (a button's unusual mark).
    bool zapfDingbats = false;
};

// The appearance of a text field showing the request's value: the /DA font, size and colour
// (size 0 = automatic), alignment, multi-line wrapping at the widget width, comb cells, the
// /MK border and background and rotation. Characters the form's font cannot show are drawn
// in a covering system face recorded in `embedder`.
Appearance buildTextFieldAppearance(const TextFieldAppearanceRequest& request, FontEmbedder& embedder);

struct ListBoxAppearanceRequest {
    // The widget as a text field would have it: rect, rotation, /DA, fonts, /Q, border and
    // background. Its value, multi-line and comb settings play no part.
    TextFieldAppearanceRequest field;
    std::vector<std::string> options;  // display texts, UTF-8, in /Opt order
    std::vector<int> selected;         // indices into options
    int topIndex = 0;                  // /TI: the first option shown
};

// The appearance of a list box: one option per line from the top index on, in the /DA font
// (12 points when /DA says 0), the selected ones on the usual selection colour.
Appearance buildListBoxAppearance(const ListBoxAppearanceRequest& request, FontEmbedder& embedder);

struct ButtonAppearanceRequest {
    double rect[4] = {0, 0, 0, 0};                       // widget /Rect, normalised
    int rotation = 0;                                    // /MK /R
    bool radio = false;                                  // radio buttons draw round
    std::string caption;                                 // /MK /CA: a ZapfDingbats character; empty for the usual mark
    std::string defaultAppearance;                       // /DA: the mark's colour (its size is fitted to the box)
    std::optional<std::vector<double>> borderColor;      // /MK /BC
    std::optional<std::vector<double>> backgroundColor;  // /MK /BG
    double borderWidth = 1;                              // /BS /W (or /Border)
    std::string borderStyle = "S";                       // /BS /S
};

// The appearance of a check box or radio button: its background and border (round for a
// radio), and when `on` its mark, the caption character of ZapfDingbats sized to fit the box
// and centred. The usual marks (check, cross, diamond, circle, square, star) are drawn as
// paths of the glyph's shape, so that they show without the font; any other character is
// shown in the standard ZapfDingbats font.
Appearance buildButtonAppearance(const ButtonAppearanceRequest& request, bool on);

struct FreeTextAppearanceRequest {
    double rect[4] = {0, 0, 0, 0};  // annotation bounds (llx, lly, urx, ury)
    std::string text;               // UTF-8, drawn as it stands (spaces included)
    FaceRef face;                   // the annotation's font
    double size = 11;               // points
    double gray = 0;                // text colour, 0 black .. 1 white
    int alignment = 1;              // 0 left, 1 centred, 2 right
};

// The appearance of a one-line free-text annotation: no background, no border, the text in
// `face` at `size` in grey, aligned within the bounds and centred vertically.
Appearance buildFreeTextAppearance(const FreeTextAppearanceRequest& request, FontEmbedder& embedder);

}  // namespace qvpdf
