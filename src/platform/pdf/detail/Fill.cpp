// Field values and the appearance objects that show them; free-text annotations; what must be
// built before a document is written.

#include <algorithm>

#include "platform/pdf/detail/Appearance.h"
#include "platform/pdf/detail/Deflate.h"
#include "platform/pdf/detail/Internal.h"
#include "platform/pdf/detail/Names.h"

namespace qvpdf::detail {

namespace {

bool isIdentity(const double m[6]) {
    return m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == 1 && m[4] == 0 && m[5] == 0;
}

// The five objects of one embedded font, allocated together the first time its resource
// name is used; their contents are written when the document is written.
int fontObject(State& s, const std::string& resourceName) {
    auto found = s.fontObjects.find(resourceName);
    if (found != s.fontObjects.end()) return found->second;
    int first = s.addObject(NewObject{Value::dict(), std::nullopt});
    for (int i = 1; i < 5; ++i) s.addObject(NewObject{Value::dict(), std::nullopt});
    s.fontObjects.emplace(resourceName, first);
    return first;
}

NewObject appearanceObject(const Appearance& ap, const std::map<std::string, QPDFObjectHandle>& formFonts, State& s) {
    Value d = Value::dict();
    d.set("Type", Value::name("XObject"));
    d.set("Subtype", Value::name("Form"));
    d.set("BBox", Value::rect(ap.bbox));
    if (!isIdentity(ap.matrix)) d.set("Matrix", Value::numbers(ap.matrix, 6));
    Value fonts = Value::dict();
    for (const auto& name : ap.formFonts) {
        auto found = formFonts.find(name);
        if (found != formFonts.end()) fonts.set(name, Value::handle(found->second));
    }
    for (const auto& name : ap.embeddedFonts) fonts.set(name, Value::newRef(fontObject(s, name)));
    // Every viewer has the standard dingbats; a direct dictionary costs no object.
    if (ap.zapfDingbats) fonts.set("ZaDb", Value::raw("<</Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats>>"));
    Value resources = Value::dict();
    if (!fonts.entries().empty()) resources.set("Font", std::move(fonts));
    d.set("Resources", std::move(resources));
    return NewObject{std::move(d), ap.content};
}

std::string strip(const std::string& name) { return !name.empty() && name[0] == '/' ? name.substr(1) : name; }

// What every drawn widget's appearance shares with a text field's: its box, /DA, the form's
// fonts (recorded in `used` as they are looked up), alignment, border and background.
void describeWidget(TextFieldAppearanceRequest& r, Template& t, const TemplateAnnot& a,
                    std::map<std::string, QPDFObjectHandle>& used) {
    std::copy(a.rect, a.rect + 4, r.rect);
    r.rotation = a.mkRotation;
    r.defaultAppearance = a.defaultAppearance;
    r.formFont = [&t, &a, &used](const std::string& resourceName) -> const SimpleFont* {
        std::string key = "/" + strip(resourceName);
        for (QPDFObjectHandle fonts : a.fontDicts) {
            QPDFObjectHandle f = fonts.getKey(key);
            if (!f.isDictionary()) continue;
            const SimpleFont* font = t.simpleFont(f);
            if (font) used[strip(resourceName)] = f;
            return font;
        }
        return nullptr;
    };
    r.quadding = a.quadding;
    r.borderColor = a.borderColor;
    r.backgroundColor = a.backgroundColor;
    r.borderWidth = a.borderWidth;
    r.borderStyle = a.borderStyle;
}

// Makes the appearance the widget's normal appearance, in the object the fill already has.
void storeAppearance(DocumentImpl& doc, State& s, const TemplateAnnot& a, WidgetFill& fill, const Appearance& ap,
                     const std::map<std::string, QPDFObjectHandle>& used) {
    if (!ap.embeddedFonts.empty()) doc.fontsDirty = true;
    NewObject xo = appearanceObject(ap, used, s);
    if (fill.apObj >= 0)
        s.setObject(fill.apObj, std::move(xo));
    else
        fill.apObj = s.addObject(std::move(xo));
    Replacement& w = s.replace(a.og, Replacement::Kind::Annotation);
    Value apDict = Value::dict();
    apDict.set("N", Value::newRef(fill.apObj));
    w.dict.set("AP", std::move(apDict));
}

void buildWidgetAppearance(DocumentImpl& doc, State& s, int index, const std::string& value) {
    WidgetFill& fill = s.fills[index];
    if (fill.apObj >= 0 && fill.value == value) return;
    Template& t = *s.tpl;
    const TemplateAnnot& a = t.annots[static_cast<size_t>(index)];
    if (a.fieldType != PDFAnnotationWidgetSubtypeText) return;

    TextFieldAppearanceRequest r;
    std::map<std::string, QPDFObjectHandle> used;
    describeWidget(r, t, a, used);
    r.multiline = a.fieldFlags & kFieldMultiline;
    r.comb = (a.fieldFlags & kFieldComb) && a.maxLen > 0;
    r.maxLen = a.maxLen;
    // A value far longer than the field can show is drawn in part; /V holds it whole.
    r.value = std::string(drawablePart(value, r));
    Appearance ap = buildTextFieldAppearance(r, *doc.embedder);
    storeAppearance(doc, s, a, fill, ap, used);
    fill.value = value;
}

// A combo box shows its value as a one-line text field would; a list box its options with
// the selected ones highlighted.
void buildChoiceAppearance(DocumentImpl& doc, State& s, int index, const std::vector<std::string>& values,
                           const std::vector<int>& selected) {
    Template& t = *s.tpl;
    const TemplateAnnot& a = t.annots[static_cast<size_t>(index)];
    if (!a.choice) return;
    const std::vector<PDFChoiceOption>& options = a.choice->options;
    WidgetFill& fill = s.fills[index];
    TextFieldAppearanceRequest r;
    std::map<std::string, QPDFObjectHandle> used;
    describeWidget(r, t, a, used);
    Appearance ap;
    if (a.fieldFlags & PDFFieldFlagCombo) {
        if (!values.empty()) {
            // An editable combo box takes any text, however long: it is drawn as a text field.
            r.value = std::string(drawablePart(values[0], r));
            for (const PDFChoiceOption& o : options) {
                if (o.exportValue == values[0]) {
                    r.value = o.displayText;
                    break;
                }
            }
        }
        ap = buildTextFieldAppearance(r, *doc.embedder);
    } else {
        ListBoxAppearanceRequest list;
        list.field = std::move(r);
        for (const PDFChoiceOption& o : options) list.options.push_back(o.displayText);
        list.selected = selected;
        list.topIndex = a.choice->topIndex;
        ap = buildListBoxAppearance(list, *doc.embedder);
    }
    storeAppearance(doc, s, a, fill, ap, used);
    fill.value = values.empty() ? std::string() : values[0];
}

// Our own on and off appearances are drawn where the form's would not show the state: when
// viewers are told to make appearances (they would draw over the form's), or when the form's
// on appearance is missing or names a font that is not there.
bool drawsOwnButton(const Template& t, const TemplateAnnot& a) { return t.needAppearances || !a.button->onDrawable; }

void drawButton(State& s, const TemplateAnnot& a, WidgetFill& fill) {
    const ButtonInfo& b = *a.button;
    ButtonAppearanceRequest r;
    std::copy(a.rect, a.rect + 4, r.rect);
    r.rotation = a.mkRotation;
    r.radio = a.fieldFlags & PDFFieldFlagRadio;
    r.caption = b.caption;
    r.defaultAppearance = a.defaultAppearance;
    r.borderColor = a.borderColor;
    r.backgroundColor = a.backgroundColor;
    r.borderWidth = a.borderWidth;
    r.borderStyle = a.borderStyle;
    Value normal = Value::dict();
    if (!b.onState.empty()) {
        fill.apObj = s.addObject(appearanceObject(buildButtonAppearance(r, true), {}, s));
        normal.set(b.onState, Value::newRef(fill.apObj));
    }
    fill.offObj = s.addObject(appearanceObject(buildButtonAppearance(r, false), {}, s));
    normal.set("Off", Value::newRef(fill.offObj));
    Value ap = Value::dict();
    ap.set("N", std::move(normal));
    // The pressed look stays the form's.
    QPDFObjectHandle formAp = a.dict.getKey("/AP");
    QPDFObjectHandle down = formAp.isDictionary() ? formAp.getKey("/D") : QPDFObjectHandle::newNull();
    if (!down.isNull()) ap.set("D", Value::handle(down));
    s.replace(a.og, Replacement::Kind::Annotation).dict.set("AP", std::move(ap));
}

void writeFonts(DocumentImpl& doc, State& s) {
    for (const auto& [name, ef] : doc.embedder->build()) {
        int first = fontObject(s, name);
        Value type0 = Value::dict();
        type0.set("Type", Value::name("Font"));
        type0.set("Subtype", Value::name("Type0"));
        type0.set("BaseFont", Value::name(ef.baseFont));
        type0.set("Encoding", Value::name("Identity-H"));
        type0.set("DescendantFonts", Value::array({Value::newRef(first + 1)}));
        type0.set("ToUnicode", Value::newRef(first + 4));
        s.setObject(first, NewObject{std::move(type0), std::nullopt});

        Value cid = Value::dict();
        cid.set("Type", Value::name("Font"));
        cid.set("Subtype", Value::name(ef.isCFF() ? "CIDFontType0" : "CIDFontType2"));
        cid.set("BaseFont", Value::name(ef.baseFont));
        Value info = Value::dict();
        info.set("Registry", Value::string("Adobe"));
        info.set("Ordering", Value::string("Identity"));
        info.set("Supplement", Value::integer(0));
        cid.set("CIDSystemInfo", std::move(info));
        cid.set("FontDescriptor", Value::newRef(first + 2));
        if (!ef.widths.empty()) cid.set("W", Value::raw(ef.widths));
        if (!ef.isCFF()) {
            if (ef.cidToGidMap.empty()) {
                cid.set("CIDToGIDMap", Value::name("Identity"));
            } else {
                auto found = s.fontMapObjects.find(name);
                int map = found != s.fontMapObjects.end() ? found->second
                                                          : s.addObject(NewObject{Value::dict(), std::nullopt});
                s.fontMapObjects[name] = map;
                Value mapDict = Value::dict();
                mapDict.set("Filter", Value::name("FlateDecode"));
                s.setObject(map, NewObject{std::move(mapDict), deflateBytes(ef.cidToGidMap)});
                cid.set("CIDToGIDMap", Value::newRef(map));
            }
        }
        s.setObject(first + 1, NewObject{std::move(cid), std::nullopt});

        Value fd = Value::dict();
        fd.set("Type", Value::name("FontDescriptor"));
        fd.set("FontName", Value::name(ef.baseFont));
        fd.set("Flags", Value::integer(ef.flags));
        fd.set("FontBBox", Value::rect(ef.bbox));
        fd.set("ItalicAngle", Value::real(ef.italicAngle));
        fd.set("Ascent", Value::real(ef.ascent));
        fd.set("Descent", Value::real(ef.descent));
        fd.set("CapHeight", Value::real(ef.capHeight));
        fd.set("StemV", Value::real(ef.stemV));
        fd.set(ef.isCFF() ? "FontFile3" : "FontFile2", Value::newRef(first + 3));
        s.setObject(first + 2, NewObject{std::move(fd), std::nullopt});

        Value file = Value::dict();
        file.set("Filter", Value::name("FlateDecode"));
        if (ef.isCFF())
            file.set("Subtype", Value::name(ef.fontFile3Subtype));
        else
            file.set("Length1", Value::integer(static_cast<long long>(ef.fontFile2.size())));
        s.setObject(first + 3, NewObject{std::move(file), deflateBytes(ef.fontFile2)});

        Value cmap = Value::dict();
        cmap.set("Filter", Value::name("FlateDecode"));
        s.setObject(first + 4, NewObject{std::move(cmap), deflateBytes(ef.toUnicode)});
    }
}

// The form dictionary this state writes, ready to change: the replaced form object, or the
// catalog's own direct one. Null when the template has no form and `create` is false; with
// `create` the catalog gets an empty form.
Value* mutableForm(State& s, bool create = false) {
    const Template& t = *s.tpl;
    if (t.acroForm.isDictionary() && t.acroFormIndirect)
        return &s.replace(t.acroForm.getObjGen(), Replacement::Kind::AcroForm).dict;
    if (!t.acroForm.isDictionary() && !create) return nullptr;
    Value& catalog = s.replace(t.rootOg, Replacement::Kind::Catalog).dict;
    Value* form = catalog.find("AcroForm");
    if (!form || form->kind() != Value::Kind::Dict) {
        Value fresh = Value::dictFrom(t.acroForm);
        if (!fresh.find("Fields")) fresh.set("Fields", Value::array());
        catalog.set("AcroForm", std::move(fresh));
        form = catalog.find("AcroForm");
    }
    return form;
}

// An entry of a form dictionary (or one below it) as a dictionary of ours, so that keys can
// be added; `original` is what the template holds there.
Value& mutableSubDict(Value& parent, const std::string& key, QPDFObjectHandle original) {
    Value* entry = parent.find(key);
    if (!entry || entry->kind() != Value::Kind::Dict) {
        parent.set(key, original.isDictionary() ? Value::dictFrom(original) : Value::dict());
        entry = parent.find(key);
    }
    return *entry;
}

QPDFObjectHandle keyOf(QPDFObjectHandle dict, const char* key) {
    return dict.isDictionary() ? dict.getKey(key) : QPDFObjectHandle::newNull();
}

// Makes `font` known in the form's default resources under `name`, or under a variant of it
// when the template's resources hold that name for a font of their own. Answers the name used.
std::string defineFormFont(State& s, const std::string& name, Value font) {
    const Template& t = *s.tpl;
    QPDFObjectHandle formFonts = keyOf(keyOf(t.acroForm, "/DR"), "/Font");
    std::string key = name;
    for (int n = 2; keyOf(formFonts, ("/" + key).c_str()).isDictionary(); ++n) key = name + "_" + std::to_string(n);
    Value* form = mutableForm(s, true);
    Value& dr = mutableSubDict(*form, "DR", keyOf(t.acroForm, "/DR"));
    mutableSubDict(dr, "Font", formFonts).set(key, std::move(font));
    return key;
}

bool buildFreeText(DocumentImpl& doc, State& s, FreeText& ft) {
    const FreeTextProps& p = ft.props;
    FaceRef face = p.font ? p.font->face : FontService::shared().systemUIFace();
    if (!face) return false;
    FreeTextAppearanceRequest r;
    r.rect[0] = p.bounds.x;
    r.rect[1] = p.bounds.y;
    r.rect[2] = p.bounds.x + p.bounds.width;
    r.rect[3] = p.bounds.y + p.bounds.height;
    r.text = p.contents;
    r.face = face;
    r.size = p.font ? p.font->size : 12;
    r.gray = p.fontColor.white;
    r.alignment = static_cast<int>(p.alignment);
    Appearance ap = buildFreeTextAppearance(r, *doc.embedder);
    if (!ap.embeddedFonts.empty()) doc.fontsDirty = true;
    NewObject xo = appearanceObject(ap, {}, s);
    if (ft.apObj >= 0)
        s.setObject(ft.apObj, std::move(xo));
    else
        ft.apObj = s.addObject(std::move(xo));

    Value d = Value::dict();
    d.set("Type", Value::name("Annot"));
    d.set("Subtype", Value::name("FreeText"));
    d.set("Rect", Value::rect(r.rect));
    d.set("Contents", Value::string(pdfTextString(p.contents)));
    d.set("F", Value::integer(p.print ? kAnnotPrint : 0));
    d.set("Q", Value::integer(static_cast<int>(p.alignment)));
    // Editors that draw the annotation anew look its /DA font up in the form's resources: it
    // names the face drawn here.
    std::string fontName = ap.embeddedFonts.empty() ? std::string() : ap.embeddedFonts.front();
    if (fontName.empty()) {
        fontName = "Helv";
        QPDFObjectHandle formFonts = keyOf(keyOf(s.tpl->acroForm, "/DR"), "/Font");
        if (!keyOf(formFonts, "/Helv").isDictionary())
            defineFormFont(
                s, fontName,
                Value::raw("<</Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding>>"));
    } else {
        fontName = defineFormFont(s, fontName, Value::newRef(fontObject(s, fontName)));
    }
    std::string da = pdfName(fontName) + " ";
    appendReal(da, r.size);
    da += " Tf ";
    appendReal(da, p.fontColor.white);
    da += " g";
    d.set("DA", Value::string(da));
    d.set("C", p.color.isClear() ? Value::array() : Value::array({Value::real(p.color.white)}));
    d.set("Border", Value::array({Value::integer(0), Value::integer(0), Value::integer(0)}));
    Value apDict = Value::dict();
    apDict.set("N", Value::newRef(ft.apObj));
    d.set("AP", std::move(apDict));
    d.set("P", Value::handle(s.tpl->pages[static_cast<size_t>(ft.page)].dict));
    if (ft.annotObj >= 0)
        s.setObject(ft.annotObj, NewObject{std::move(d), std::nullopt});
    else
        ft.annotObj = s.addObject(NewObject{std::move(d), std::nullopt});
    ft.built = true;
    return true;
}

void writePageAnnots(State& s, size_t page) {
    Value annots = Value::array();
    for (const AnnotRef& ref : s.pageAnnots[page]) {
        if (ref.tpl >= 0)
            annots.items().push_back(Value::handle(s.tpl->annots[static_cast<size_t>(ref.tpl)].dict));
        else
            annots.items().push_back(Value::newRef(s.freeTexts[static_cast<size_t>(ref.freeText)].annotObj));
    }
    const TemplatePage& tp = s.tpl->pages[page];
    s.replace(tp.og, Replacement::Kind::Page).dict.set("Annots", std::move(annots));
    s.annotsChanged[page] = 0;
}

// Viewers that are told to make appearances themselves would redraw our values with their own
// fonts; once every widget that lacked an appearance has one of ours, they need not.
void settleNeedAppearances(State& s) {
    const Template& t = *s.tpl;
    if (!t.needAppearances || s.fills.empty()) return;
    for (int i : t.widgetsWithoutAppearance)
        if (!s.fills.count(i)) return;
    if (Value* form = mutableForm(s)) form->set("NeedAppearances", Value::boolean(false));
}

// Whether the form this state writes still carries the template's XFA packet.
bool keepsXfa(const State& s) {
    const Template& t = *s.tpl;
    if (!t.acroForm.isDictionary() || !t.acroForm.hasKey("/XFA")) return false;
    auto found = s.replaced.find(t.acroFormIndirect ? t.acroForm.getObjGen().getObj() : t.rootOg.getObj());
    if (found == s.replaced.end()) return true;
    const Value* form = t.acroFormIndirect ? &found->second.dict : found->second.dict.find("AcroForm");
    return !form || form->kind() != Value::Kind::Dict || form->find("XFA");
}

// A form with both fields and an XFA packet is filled in its fields; the packet would still
// hold the blank template's data, which viewers that prefer XFA show instead. Without it the
// fields govern everywhere.
void dropXfa(State& s) {
    if (!keepsXfa(s)) return;
    mutableForm(s)->remove("XFA");
    // Without the packet there is nothing to render from XFA.
    if (s.tpl->root.hasKey("/NeedsRendering"))
        s.replace(s.tpl->rootOg, Replacement::Kind::Catalog).dict.remove("NeedsRendering");
}

std::string currentValue(const State& s, const TemplateAnnot& a) {
    auto found = s.fieldValues.find(a.fieldOg.getObj());
    return found != s.fieldValues.end() ? found->second : a.value;
}

}  // namespace

bool fillWidget(DocumentImpl& doc, int annotIndex, std::string_view utf8) {
    State& s = doc.mutableState();
    Template& t = *s.tpl;
    const TemplateAnnot& a = t.annots[static_cast<size_t>(annotIndex)];
    if (!a.widget) return false;
    // Every widget of a field takes its value: filling them one by one with the same value
    // draws each once, not once per widget of the field.
    auto known = s.fieldValues.find(a.fieldOg.getObj());
    auto drawn = s.fills.find(annotIndex);
    if (a.fieldType == PDFAnnotationWidgetSubtypeText && known != s.fieldValues.end() && known->second == utf8 &&
        drawn != s.fills.end() && drawn->second.apObj >= 0 && drawn->second.value == utf8)
        return true;
    // One copy of the value is kept; everything else reads it.
    const std::string& value = s.fieldValues[a.fieldOg.getObj()] = std::string(utf8);
    Replacement& field =
        s.replace(a.fieldOg, a.fieldOg == a.og ? Replacement::Kind::Annotation : Replacement::Kind::Field);
    field.dict.set("V", Value::string(pdfTextString(value)));
    field.dict.remove("RV");  // a rich value would be shown instead of ours
    auto widgets = t.widgetsByField.find(a.fieldOg);
    if (widgets != t.widgetsByField.end()) {
        for (int w : widgets->second) buildWidgetAppearance(doc, s, w, value);
    }
    s.changed = true;
    return true;
}

bool setButtonField(DocumentImpl& doc, int annotIndex, std::string_view requested) {
    const Template& t = *doc.state->tpl;
    const TemplateAnnot& a = t.annots[static_cast<size_t>(annotIndex)];
    if (!a.button || (a.fieldFlags & PDFFieldFlagPushButton)) return false;
    auto widgets = t.widgetsByField.find(a.fieldOg);
    if (widgets == t.widgetsByField.end()) return false;
    std::string state = requested.empty() ? std::string("Off") : std::string(requested);
    if (state != "Off") {
        bool known = false;
        for (int w : widgets->second) {
            const TemplateAnnot& aw = t.annots[static_cast<size_t>(w)];
            known = known || (aw.button && aw.button->onState == state);
        }
        if (!known) return false;
    }

    State& s = doc.mutableState();
    s.buttonStates[a.fieldOg.getObj()] = state;
    s.replace(a.fieldOg, a.fieldOg == a.og ? Replacement::Kind::Annotation : Replacement::Kind::Field)
        .dict.set("V", Value::name(state));
    for (int w : widgets->second) {
        const TemplateAnnot& aw = t.annots[static_cast<size_t>(w)];
        if (!aw.button) continue;
        const ButtonInfo& b = *aw.button;
        std::string want = state != "Off" && b.onState == state ? state : std::string("Off");
        auto found = s.fills.find(w);
        bool seen = found != s.fills.end() && found->second.button;
        WidgetFill& fill = s.fills[w];
        std::string shown = seen ? fill.state : b.state.empty() ? std::string("Off") : b.state;
        bool drawn = false;
        if (!seen) {
            fill.button = true;
            if (drawsOwnButton(t, aw)) {
                drawButton(s, aw, fill);
                drawn = true;
            }
        }
        if (drawn || shown != want) s.replace(aw.og, Replacement::Kind::Annotation).dict.set("AS", Value::name(want));
        fill.state = want;
    }
    s.changed = true;
    return true;
}

bool setChoiceField(DocumentImpl& doc, int annotIndex, const std::vector<std::string>& values) {
    const Template& t = *doc.state->tpl;
    const TemplateAnnot& a = t.annots[static_cast<size_t>(annotIndex)];
    if (!a.choice) return false;
    const bool combo = a.fieldFlags & PDFFieldFlagCombo;
    const bool freeText = combo && (a.fieldFlags & PDFFieldFlagEdit);
    const bool multi = !combo && (a.fieldFlags & PDFFieldFlagMultiSelect);
    if (values.size() > 1 && !multi) return false;
    const std::vector<PDFChoiceOption>& options = a.choice->options;
    std::vector<int> selected;
    for (const std::string& v : values) {
        auto found =
            std::find_if(options.begin(), options.end(), [&](const PDFChoiceOption& o) { return o.exportValue == v; });
        if (found == options.end()) {
            if (!freeText) return false;
            continue;
        }
        int index = static_cast<int>(found - options.begin());
        if (std::find(selected.begin(), selected.end(), index) == selected.end()) selected.push_back(index);
    }
    std::sort(selected.begin(), selected.end());

    State& s = doc.mutableState();
    s.fieldValues[a.fieldOg.getObj()] = values.empty() ? std::string() : values[0];
    Replacement& field =
        s.replace(a.fieldOg, a.fieldOg == a.og ? Replacement::Kind::Annotation : Replacement::Kind::Field);
    if (values.empty()) {
        field.dict.remove("V");
    } else if (values.size() == 1) {
        field.dict.set("V", Value::string(pdfTextString(values[0])));
    } else {
        Value array = Value::array();
        for (const std::string& v : values) array.items().push_back(Value::string(pdfTextString(v)));
        field.dict.set("V", std::move(array));
    }
    // /I is what viewers select a list's lines by; a combo box's would contradict free text.
    if (!combo && !selected.empty()) {
        Value indices = Value::array();
        for (int i : selected) indices.items().push_back(Value::integer(i));
        field.dict.set("I", std::move(indices));
    } else {
        field.dict.remove("I");
    }
    auto widgets = t.widgetsByField.find(a.fieldOg);
    if (widgets != t.widgetsByField.end())
        for (int w : widgets->second) buildChoiceAppearance(doc, s, w, values, selected);
    s.changed = true;
    return true;
}

bool prepareForWrite(DocumentImpl& doc, bool burn) {
    const State& view = *doc.state;
    bool work = doc.fontsDirty;
    for (const FreeText& ft : view.freeTexts) work = work || !ft.built;
    for (char c : view.annotsChanged) work = work || c;
    const Template& t = *view.tpl;
    if (burn) {
        for (int i : t.widgetsWithoutAppearance) {
            const TemplateAnnot& a = t.annots[static_cast<size_t>(i)];
            if (!view.fills.count(i) && a.fieldType == PDFAnnotationWidgetSubtypeText && !currentValue(view, a).empty())
                work = true;
        }
    }
    if (!work && !(t.needAppearances && view.changed) && !(view.changed && keepsXfa(view))) return true;

    State& s = doc.mutableState();
    if (burn) {
        for (int i : t.widgetsWithoutAppearance) {
            const TemplateAnnot& a = t.annots[static_cast<size_t>(i)];
            std::string value = currentValue(s, a);
            if (!s.fills.count(i) && a.fieldType == PDFAnnotationWidgetSubtypeText && !value.empty())
                buildWidgetAppearance(doc, s, i, value);
        }
    }
    for (FreeText& ft : s.freeTexts)
        if (!ft.built && !buildFreeText(doc, s, ft)) return false;
    for (size_t p = 0; p < s.annotsChanged.size(); ++p)
        if (s.annotsChanged[p]) writePageAnnots(s, p);
    if (doc.fontsDirty) {
        writeFonts(doc, s);
        doc.fontsDirty = false;
    }
    if (s.changed) {
        settleNeedAppearances(s);
        dropXfa(s);
    }
    return true;
}

}  // namespace qvpdf::detail
