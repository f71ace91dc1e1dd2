// Parsing a template once: QPDF reads it (quietly), a damaged, linearized, hybrid or encrypted
// file is rewritten into a clean base, and everything the documents ask about pages, annotations and
// fields is read out in advance.

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cstring>
#include <set>
#include <stdexcept>

#include "platform/pdf/detail/Encryption.h"
#include "platform/pdf/detail/Internal.h"
#include "platform/pdf/detail/Names.h"
#include "platform/pdf/detail/QpdfSupport.h"

namespace qvpdf::detail {

namespace {

constexpr int kMaxDepth = 64;  // parent chains longer than this are treated as broken

// QPDF inflates an object stream whole when the first object in it is read. Real ones hold a few
// hundred small dictionaries; beyond these sizes one is a decompression bomb, and the template
// is damaged.
constexpr size_t kMaxObjectStream = 64u << 20;
constexpr size_t kMaxObjectStreamsTotal = 256u << 20;

// Counts decoded bytes against a budget and stops the decoding beyond it.
class BudgetSink : public Pipeline {
public:
    explicit BudgetSink(size_t budget) : Pipeline("budget sink", nullptr), budget_(budget), left_(budget) {}
    void write(unsigned char const*, size_t len) override {
        if (len > left_) {
            exceeded = true;
            throw std::length_error("stream beyond budget");
        }
        left_ -= len;
    }
    void finish() override {}
    size_t used() const { return budget_ - left_; }
    bool exceeded = false;

private:
    size_t budget_;
    size_t left_;
};

QPDFObjectHandle inherited(QPDFObjectHandle node, const char* key) {
    for (int depth = 0; depth < kMaxDepth && node.isDictionary(); ++depth) {
        QPDFObjectHandle v = node.getKey(key);
        if (!v.isNull()) return v;
        node = node.getKey("/Parent");
    }
    return QPDFObjectHandle::newNull();
}

int intOf(QPDFObjectHandle h, int fallback = 0) {
    if (h.isInteger()) return h.getIntValueAsInt();
    if (h.isNumber()) return static_cast<int>(h.getNumericValue());
    return fallback;
}

std::string stringOf(QPDFObjectHandle h) { return h.isString() ? h.getUTF8Value() : std::string(); }

std::optional<std::vector<double>> colourOf(QPDFObjectHandle h) {
    if (!h.isArray()) return std::nullopt;
    std::vector<double> out;
    for (auto item : h.aitems()) {
        if (!item.isNumber()) return std::nullopt;
        out.push_back(item.getNumericValue());
    }
    if (out.size() != 1 && out.size() != 3 && out.size() != 4) return std::nullopt;
    return out;
}

// The offset after the last "startxref", or -1.
long long readStartxref(const std::string& bytes) {
    size_t from = bytes.size() > 2048 ? bytes.size() - 2048 : 0;
    size_t pos = bytes.rfind("startxref");
    if (pos == std::string::npos || pos < from) return -1;
    size_t i = pos + 9;
    while (i < bytes.size() && std::strchr(" \r\n\t\f", bytes[i]) && bytes[i]) ++i;
    long long value = 0;
    size_t digits = 0;
    while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9' && digits < 15) {
        value = value * 10 + (bytes[i] - '0');
        ++i;
        ++digits;
    }
    return digits ? value : -1;
}

std::unique_ptr<QPDF> parse(const std::string& bytes) {
    auto q = std::make_unique<QPDF>();
    quietQpdf(*q);
    q->processMemoryFile("document", bytes.data(), bytes.size());
    return q;
}

// Whether every object stream inflates within bounds; measured through a counting sink before
// QPDF reads any object from them, so a bomb is never held.
bool objectStreamsWithinBounds(QPDF& q) {
    std::set<int> streams;
    for (auto& [og, entry] : q.getXRefTable())
        if (entry.getType() == 2) streams.insert(entry.getObjStreamNumber());
    size_t total = kMaxObjectStreamsTotal;
    for (int number : streams) {
        QPDFObjectHandle stream = q.getObjectByID(number, 0);
        if (!stream.isStream()) continue;  // QPDF reports the broken reference itself
        BudgetSink sink(std::min(kMaxObjectStream, total));
        // QPDF turns the sink's exception into a failed decode; undecodable data is QPDF's to
        // report as damage when it reads the objects.
        try {
            stream.pipeStreamData(&sink, 0, qpdf_dl_specialized, true);
        } catch (...) {
        }
        if (sink.exceeded) return false;
        total -= sink.used();
    }
    return true;
}

// Whether the page tree lists any page or node more than once (a loop included). QPDF answers
// such a tree by copying the page for every extra listing, so a small file could list one page
// hundreds of thousands of times and multiply the work and memory of everything per page; a
// template like that is damaged. Walked here, without recursion and before QPDF walks it, in
// time linear in the listings.
bool pageTreeListsAnObjectTwice(QPDF& q) {
    QPDFObjectHandle root = q.getRoot().getKey("/Pages");
    if (!root.isDictionary()) return false;
    std::set<QPDFObjGen> seen;
    std::vector<QPDFObjectHandle> pending{root};
    while (!pending.empty()) {
        QPDFObjectHandle node = pending.back();
        pending.pop_back();
        if (node.isIndirect() && !seen.insert(node.getObjGen()).second) return true;
        QPDFObjectHandle kids = node.isDictionary() ? node.getKey("/Kids") : QPDFObjectHandle::newNull();
        if (!kids.isArray()) continue;
        for (auto kid : kids.aitems())
            if (kid.isDictionary()) pending.push_back(kid);
    }
    return false;
}

// Resolves every object so that damage anywhere shows up as a warning now.
void touchEverything(QPDF& q) {
    for (auto& h : q.getAllObjects()) {
        if (h.isStream())
            h.getDict();
        else
            h.isDictionary();
    }
}

bool needsCleanBase(QPDF& q, const std::string& bytes) {
    if (q.anyWarnings() || q.isLinearized()) return true;
    if (q.getTrailer().hasKey("/XRefStm")) return true;
    long long sx = readStartxref(bytes);
    if (sx <= 0 || sx >= static_cast<long long>(bytes.size())) return true;
    // Annotations written directly into a page's array cannot be replaced one by one.
    for (auto page : q.getAllPages()) {
        QPDFObjectHandle annots = page.getKey("/Annots");
        if (annots.isNull()) continue;
        if (!annots.isArray()) return true;
        for (auto a : annots.aitems())
            if (a.isDictionary() && !a.isIndirect()) return true;
    }
    return false;
}

std::string rewriteClean(QPDF& q) {
    for (auto page : q.getAllPages()) {
        QPDFObjectHandle annots = page.getKey("/Annots");
        if (!annots.isArray()) {
            if (!annots.isNull()) page.removeKey("/Annots");
            continue;
        }
        int n = annots.getArrayNItems();
        for (int i = 0; i < n; ++i) {
            QPDFObjectHandle a = annots.getArrayItem(i);
            if (a.isDictionary() && !a.isIndirect()) annots.setArrayItem(i, q.makeIndirectObject(a));
        }
    }
    QPDFWriter w(q);
    w.setOutputMemory();
    w.setLinearization(false);
    // Streams are copied as they are: a stream decoded here would be decoded without bound, and
    // one that inflates to gigabytes would land, re-compressed, in every output.
    w.setStreamDataMode(qpdf_s_preserve);
    w.setDecodeLevel(qpdf_dl_none);
    // An encrypted template's base is its decrypted rewrite: our writers work on plain objects
    // and the outputs are encrypted afterwards.
    w.setPreserveEncryption(false);
    w.write();
    auto buffer = w.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

// Appearance streams are a few kilobytes; anything far beyond is not worth reading.
constexpr size_t kMaxAppearance = 1u << 20;

// The font resource names that a content stream selects with Tf.
std::vector<std::string> fontNamesUsed(std::string_view content) {
    std::vector<std::string> names;
    std::string last, beforeLast;
    size_t i = 0;
    auto isDelimiter = [](char c) { return std::strchr("()<>[]{}/%", c) != nullptr; };
    auto isSpace = [](char c) { return std::strchr(" \t\r\n\f", c) != nullptr || c == '\0'; };
    while (i < content.size()) {
        char c = content[i];
        if (isSpace(c)) {
            ++i;
            continue;
        }
        if (c == '%') {  // a comment runs to the end of the line
            while (i < content.size() && content[i] != '\r' && content[i] != '\n') ++i;
            continue;
        }
        std::string token;
        if (c == '(') {  // strings play no part: skip them, escapes and nesting included
            int depth = 0;
            for (; i < content.size(); ++i) {
                if (content[i] == '\\')
                    ++i;
                else if (content[i] == '(')
                    ++depth;
                else if (content[i] == ')' && --depth == 0)
                    break;
            }
            ++i;
            token = "()";
        } else if (c == '<' && i + 1 < content.size() && content[i + 1] != '<') {
            while (i < content.size() && content[i] != '>') ++i;
            ++i;
            token = "<>";
        } else if (c == '/') {
            size_t start = i++;
            while (i < content.size() && !isSpace(content[i]) && !isDelimiter(content[i])) ++i;
            token.assign(content.substr(start, i - start));
        } else if (isDelimiter(c)) {
            token.assign(1, c);
            ++i;
        } else {
            size_t start = i;
            while (i < content.size() && !isSpace(content[i]) && !isDelimiter(content[i])) ++i;
            token.assign(content.substr(start, i - start));
        }
        if (token == "Tf" && beforeLast.size() > 1 && beforeLast[0] == '/')
            names.push_back(decodePdfName(std::string_view(beforeLast).substr(1)));
        beforeLast = std::move(last);
        last = std::move(token);
    }
    return names;
}

// Whether every font an appearance stream selects is in its resources (or, for a stream
// without resources of its own, the page's). A viewer draws nothing for a font it cannot find.
bool fontsResolve(QPDFObjectHandle stream, QPDFObjectHandle pageResources) {
    QPDFObjectHandle resources = stream.getDict().getKey("/Resources");
    if (!resources.isDictionary()) resources = pageResources;
    QPDFObjectHandle fonts = resources.isDictionary() ? resources.getKey("/Font") : QPDFObjectHandle::newNull();
    auto data = boundedStreamData(stream, kMaxAppearance);
    if (!data) return false;
    for (const std::string& name : fontNamesUsed(*data))
        if (!fonts.isDictionary() || !fonts.getKey("/" + name).isDictionary()) return false;
    return true;
}

std::unique_ptr<ButtonInfo> readButton(const TemplateAnnot& a, QPDFObjectHandle pageResources) {
    auto b = std::make_unique<ButtonInfo>();
    QPDFObjectHandle d = a.dict;
    b->onAppearance = b->offAppearance = QPDFObjectHandle::newNull();
    QPDFObjectHandle ap = d.getKey("/AP");
    if (ap.isDictionary()) {
        for (const char* key : {"/N", "/D"}) {
            QPDFObjectHandle states = ap.getKey(key);
            if (!states.isDictionary()) continue;
            for (auto& [name, item] : states.ditems()) {
                if (name != "/Off" && name.size() > 1 && !item.isNull()) {
                    b->onState = name.substr(1);
                    break;
                }
            }
            if (!b->onState.empty()) break;
        }
        QPDFObjectHandle normal = ap.getKey("/N");
        if (normal.isDictionary()) {
            if (!b->onState.empty()) {
                QPDFObjectHandle on = normal.getKey("/" + b->onState);
                if (on.isStream()) b->onAppearance = on;
            }
            QPDFObjectHandle off = normal.getKey("/Off");
            if (off.isStream()) b->offAppearance = off;
        }
    }
    try {
        b->onDrawable = b->onAppearance.isStream() && fontsResolve(b->onAppearance, pageResources);
    } catch (...) {
        b->onDrawable = false;
    }
    QPDFObjectHandle as = d.getKey("/AS");
    if (as.isName()) b->state = as.getName().substr(1);
    QPDFObjectHandle v = inherited(d, "/V");
    if (v.isName()) b->fieldState = v.getName().substr(1);
    QPDFObjectHandle mk = d.getKey("/MK");
    if (mk.isDictionary() && mk.getKey("/CA").isString()) b->caption = mk.getKey("/CA").getStringValue();

    // Export labels of /Opt follow the order of the field's widgets in /Kids.
    QPDFObjectHandle opt = inherited(d, "/Opt");
    if (opt.isArray()) {
        int index = -1;
        if (a.field.getObjGen() == a.og) {
            index = 0;
        } else if (QPDFObjectHandle kids = a.field.getKey("/Kids"); kids.isArray()) {
            int n = kids.getArrayNItems();
            for (int i = 0; i < n && index < 0; ++i)
                if (kids.getArrayItem(i).getObjGen() == a.og) index = i;
        }
        if (index >= 0 && index < opt.getArrayNItems()) b->optionLabel = stringOf(opt.getArrayItem(index));
    }
    return b;
}

std::unique_ptr<ChoiceInfo> readChoice(const TemplateAnnot& a) {
    auto c = std::make_unique<ChoiceInfo>();
    QPDFObjectHandle opt = inherited(a.dict, "/Opt");
    if (opt.isArray()) {
        for (auto item : opt.aitems()) {
            PDFChoiceOption o;
            if (item.isString()) {
                o.exportValue = o.displayText = item.getUTF8Value();
            } else if (item.isArray() && item.getArrayNItems() >= 1) {
                o.exportValue = stringOf(item.getArrayItem(0));
                o.displayText = item.getArrayNItems() >= 2 ? stringOf(item.getArrayItem(1)) : o.exportValue;
            }
            // A damaged entry stays as an empty option, so that indices keep their meaning.
            c->options.push_back(std::move(o));
        }
    }
    c->topIndex = std::max(0, intOf(inherited(a.dict, "/TI")));
    return c;
}

void readAnnotation(Template& t, TemplateAnnot& a, QPDFObjectHandle acroFormDR, QPDFObjectHandle pageResources) {
    QPDFObjectHandle d = a.dict;
    QPDFObjectHandle subtype = d.getKey("/Subtype");
    a.subtype = subtype.isName() ? subtype.getName().substr(1) : std::string();
    a.flags = intOf(d.getKey("/F"));
    normaliseRect(d.getKey("/Rect"), a.rect);
    a.hasAppearance = normalAppearance(d).isStream();
    if (a.subtype != "Widget") return;

    a.widget = true;
    QPDFObjectHandle ft = inherited(d, "/FT");
    a.fieldType = ft.isName() ? ft.getName() : std::string();
    a.fieldFlags = intOf(inherited(d, "/Ff"));
    a.maxLen = std::max(0, intOf(inherited(d, "/MaxLen")));

    std::vector<std::string> parts;
    QPDFObjectHandle node = d;
    QPDFObjectHandle holder;
    for (int depth = 0; depth < kMaxDepth && node.isDictionary(); ++depth) {
        QPDFObjectHandle title = node.getKey("/T");
        if (title.isString()) {
            parts.push_back(title.getUTF8Value());
            if (!holder.isInitialized()) holder = node;
        }
        node = node.getKey("/Parent");
    }
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (!a.fieldName.empty()) a.fieldName += '.';
        a.fieldName += *it;
    }
    a.field = holder.isInitialized() && holder.isIndirect() ? holder : d;
    a.fieldOg = a.field.getObjGen();
    QPDFObjectHandle v = inherited(d, "/V");
    a.value = v.isArray() && v.getArrayNItems() > 0 ? stringOf(v.getArrayItem(0)) : stringOf(v);

    QPDFObjectHandle da = inherited(d, "/DA");
    if (!da.isString() && t.acroForm.isDictionary()) da = t.acroForm.getKey("/DA");
    a.defaultAppearance = stringOf(da);
    QPDFObjectHandle q = inherited(d, "/Q");
    if (!q.isNumber() && t.acroForm.isDictionary()) q = t.acroForm.getKey("/Q");
    a.quadding = std::clamp(intOf(q), 0, 2);

    QPDFObjectHandle mk = d.getKey("/MK");
    if (mk.isDictionary()) {
        int r = ((intOf(mk.getKey("/R")) % 360) + 360) % 360;
        a.mkRotation = r % 90 == 0 ? r : 0;
        a.borderColor = colourOf(mk.getKey("/BC"));
        a.backgroundColor = colourOf(mk.getKey("/BG"));
    }
    QPDFObjectHandle bs = d.getKey("/BS");
    QPDFObjectHandle border = d.getKey("/Border");
    if (bs.isDictionary()) {
        QPDFObjectHandle w = bs.getKey("/W");
        if (w.isNumber()) a.borderWidth = w.getNumericValue();
        QPDFObjectHandle s = bs.getKey("/S");
        if (s.isName()) a.borderStyle = s.getName().substr(1);
    } else if (border.isArray() && border.getArrayNItems() >= 3 && border.getArrayItem(2).isNumber()) {
        a.borderWidth = border.getArrayItem(2).getNumericValue();
    }
    if (!(a.borderWidth >= 0 && a.borderWidth < 1000)) a.borderWidth = 1;

    // Where a /DA font name is looked up: the form's resources, then resources some writers
    // put on the field, then the page's (forms without /DR rely on those).
    if (acroFormDR.isDictionary() && acroFormDR.getKey("/Font").isDictionary())
        a.fontDicts.push_back(acroFormDR.getKey("/Font"));
    node = d;
    for (int depth = 0; depth < kMaxDepth && node.isDictionary(); ++depth) {
        QPDFObjectHandle dr = node.getKey("/DR");
        if (dr.isDictionary() && dr.getKey("/Font").isDictionary()) a.fontDicts.push_back(dr.getKey("/Font"));
        node = node.getKey("/Parent");
    }
    if (pageResources.isDictionary() && pageResources.getKey("/Font").isDictionary())
        a.fontDicts.push_back(pageResources.getKey("/Font"));

    if (a.fieldType == PDFAnnotationWidgetSubtypeButton && !(a.fieldFlags & PDFFieldFlagPushButton))
        a.button = readButton(a, pageResources);
    else if (a.fieldType == PDFAnnotationWidgetSubtypeChoice)
        a.choice = readChoice(a);
}

void readPages(Template& t) {
    QPDF& q = *t.qpdf;
    QPDFObjectHandle dr = t.acroForm.isDictionary() ? t.acroForm.getKey("/DR") : QPDFObjectHandle::newNull();
    const auto& pages = q.getAllPages();
    for (size_t i = 0; i < pages.size(); ++i) {
        TemplatePage p;
        p.dict = pages[i];
        p.og = p.dict.getObjGen();
        p.resources = p.mediaBox = p.cropBox = p.rotate = QPDFObjectHandle::newNull();
        QPDFObjectHandle node = p.dict;
        for (int depth = 0; depth < kMaxDepth && node.isDictionary(); ++depth) {
            if (depth > 0 && node.isIndirect()) t.pageTreeNodes.insert(node.getObjGen());
            if (p.resources.isNull()) p.resources = node.getKey("/Resources");
            if (p.mediaBox.isNull()) p.mediaBox = node.getKey("/MediaBox");
            if (p.cropBox.isNull()) p.cropBox = node.getKey("/CropBox");
            if (p.rotate.isNull()) p.rotate = node.getKey("/Rotate");
            node = node.getKey("/Parent");
        }
        double media[4] = {0, 0, 612, 792};
        if (p.mediaBox.isArray() && p.mediaBox.getArrayNItems() == 4) normaliseRect(p.mediaBox, media);
        std::copy(media, media + 4, p.crop);
        if (p.cropBox.isArray() && p.cropBox.getArrayNItems() == 4) {
            double crop[4];
            normaliseRect(p.cropBox, crop);
            double r[4] = {std::max(crop[0], media[0]), std::max(crop[1], media[1]), std::min(crop[2], media[2]),
                           std::min(crop[3], media[3])};
            if (r[2] > r[0] && r[3] > r[1]) std::copy(r, r + 4, p.crop);
        }
        p.rotation = intOf(p.rotate);
        t.pageByOg.emplace(p.og, static_cast<int>(i));

        QPDFObjectHandle annots = p.dict.getKey("/Annots");
        if (annots.isArray()) {
            for (auto item : annots.aitems()) {
                if (!item.isDictionary() || !item.isIndirect()) continue;
                TemplateAnnot a;
                a.dict = item;
                a.og = item.getObjGen();
                a.page = static_cast<int>(i);
                readAnnotation(t, a, dr, p.resources);
                int index = static_cast<int>(t.annots.size());
                if (a.widget) {
                    t.widgetsByField[a.fieldOg].push_back(index);
                    if (!a.hasAppearance) t.widgetsWithoutAppearance.insert(index);
                }
                p.annots.push_back(index);
                t.annots.push_back(std::move(a));
            }
        }
        t.pages.push_back(std::move(p));
    }
}

std::shared_ptr<Template> load(std::string_view bytes) {
    auto t = std::make_shared<Template>();
    t->original.assign(bytes);
    t->qpdf = parse(t->original);
    QPDF* q = t->qpdf.get();
    t->encrypted = q->isEncrypted();
    t->allowsFormFilling = permitsFormFilling(*q);
    if (!objectStreamsWithinBounds(*q) || pageTreeListsAnObjectTwice(*q)) return nullptr;
    touchEverything(*q);
    if (t->encrypted || needsCleanBase(*q, t->original)) {
        t->base = rewriteClean(*q);
        // The encrypted parse stays: it holds what re-encrypting the outputs needs.
        if (t->encrypted) t->encryption = describeEncryption(std::move(t->qpdf));
        t->qpdf = parse(t->base);
        q = t->qpdf.get();
        touchEverything(*q);
    } else {
        t->base = t->original;
    }
    t->trailer = q->getTrailer();
    t->root = q->getRoot();
    if (!t->root.isDictionary()) return nullptr;
    t->rootOg = t->root.getObjGen();
    t->size = intOf(t->trailer.getKey("/Size"));
    for (auto& [og, entry] : q->getXRefTable()) t->size = std::max(t->size, og.getObj() + 1);
    t->startxref = readStartxref(t->base);
    if (t->startxref >= 0 && t->startxref < static_cast<long long>(t->base.size()))
        t->xrefStream = t->base.compare(static_cast<size_t>(t->startxref), 4, "xref") != 0;
    t->acroForm = t->root.getKey("/AcroForm");
    if (!t->acroForm.isDictionary()) t->acroForm = QPDFObjectHandle::newNull();
    t->acroFormIndirect = t->acroForm.isIndirect();
    if (t->acroForm.isDictionary()) {
        QPDFObjectHandle na = t->acroForm.getKey("/NeedAppearances");
        t->needAppearances = na.isBool() && na.getBoolValue();
    }
    readPages(*t);
    return t;
}

}  // namespace

void normaliseRect(QPDFObjectHandle array, double out[4]) {
    out[0] = out[1] = out[2] = out[3] = 0;
    if (!array.isArray() || array.getArrayNItems() != 4) return;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        QPDFObjectHandle item = array.getArrayItem(i);
        if (!item.isNumber()) return;
        v[i] = item.getNumericValue();
    }
    out[0] = std::min(v[0], v[2]);
    out[1] = std::min(v[1], v[3]);
    out[2] = std::max(v[0], v[2]);
    out[3] = std::max(v[1], v[3]);
}

QPDFObjectHandle normalAppearance(QPDFObjectHandle annotDict) {
    QPDFObjectHandle ap = annotDict.getKey("/AP");
    if (!ap.isDictionary()) return QPDFObjectHandle::newNull();
    QPDFObjectHandle n = ap.getKey("/N");
    if (n.isStream()) return n;
    if (!n.isDictionary()) return QPDFObjectHandle::newNull();
    QPDFObjectHandle as = annotDict.getKey("/AS");
    if (!as.isName()) return QPDFObjectHandle::newNull();
    QPDFObjectHandle state = n.getKey(as.getName());
    return state.isStream() ? state : QPDFObjectHandle::newNull();
}

const SimpleFont* Template::simpleFont(QPDFObjectHandle fontDict) {
    if (!fontDict.isDictionary() || !fontDict.isIndirect()) return nullptr;
    QPDFObjGen og = fontDict.getObjGen();
    auto found = fontCache_.find(og);
    if (found != fontCache_.end()) return found->second.get();
    std::unique_ptr<SimpleFont> font = readSimpleFont(fontDict);
    const SimpleFont* result = font.get();
    fontCache_.emplace(og, std::move(font));
    return result;
}

namespace {

bool holdsReference(QPDFObjectHandle h, int depth = 0) {
    if (h.isIndirect() || depth > 32) return true;
    if (h.isArray()) {
        for (auto item : h.aitems())
            if (holdsReference(item, depth + 1)) return true;
    } else if (h.isDictionary()) {
        for (auto& [key, item] : h.ditems())
            if (holdsReference(item, depth + 1)) return true;
    }
    return false;
}

}  // namespace

const Value& Template::dictValue(QPDFObjGen og) {
    auto found = dictCache_.find(og);
    if (found != dictCache_.end()) return found->second;
    Value v = Value::dict();
    QPDFObjectHandle h = qpdf->getObjectByObjGen(og);
    if (h.isDictionary()) {
        for (auto& [key, item] : h.ditems()) {
            if (item.isNull()) continue;
            if (holdsReference(item)) {
                v.set(key.substr(1), Value::handle(item));
                continue;
            }
            std::string syntax;
            writeHandle(syntax, item, nullptr);
            v.set(key.substr(1), Value::raw(std::move(syntax)));
        }
    }
    return dictCache_.emplace(og, std::move(v)).first->second;
}

std::shared_ptr<Template> loadTemplateUncached(std::string_view bytes) {
    try {
        return load(bytes);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace qvpdf::detail
