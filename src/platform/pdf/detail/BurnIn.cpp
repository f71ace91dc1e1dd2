// Burning annotations into page content: each visible appearance is drawn as a Form XObject
// after the page's own content, placed as viewers place it (its box, transformed by its
// matrix, fitted into the annotation's rectangle). The pages then lose their annotations and
// the document its form.

#include <algorithm>
#include <cmath>

#include "platform/pdf/detail/Internal.h"

namespace qvpdf::detail {

namespace {

struct Placement {
    bool ok = false;
    double m[6] = {1, 0, 0, 1, 0, 0};
};

Placement place(const double bbox[4], const double matrix[6], const double rect[4]) {
    Placement p;
    double xs[4], ys[4];
    const double corners[4][2] = {{bbox[0], bbox[1]}, {bbox[2], bbox[1]}, {bbox[0], bbox[3]}, {bbox[2], bbox[3]}};
    for (int i = 0; i < 4; ++i) {
        xs[i] = matrix[0] * corners[i][0] + matrix[2] * corners[i][1] + matrix[4];
        ys[i] = matrix[1] * corners[i][0] + matrix[3] * corners[i][1] + matrix[5];
    }
    double x0 = *std::min_element(xs, xs + 4), x1 = *std::max_element(xs, xs + 4);
    double y0 = *std::min_element(ys, ys + 4), y1 = *std::max_element(ys, ys + 4);
    double w = rect[2] - rect[0], h = rect[3] - rect[1];
    if (!(x1 - x0 > 1e-9) || !(y1 - y0 > 1e-9) || !(w > 0) || !(h > 0)) return p;
    double sx = w / (x1 - x0), sy = h / (y1 - y0);
    p.m[0] = sx;
    p.m[3] = sy;
    p.m[4] = rect[0] - x0 * sx;
    p.m[5] = rect[1] - y0 * sy;
    p.ok = std::isfinite(p.m[0]) && std::isfinite(p.m[3]) && std::isfinite(p.m[4]) && std::isfinite(p.m[5]);
    return p;
}

bool numbersOf(const Value* v, double* out, int count) {
    if (!v) return false;
    if (v->kind() == Value::Kind::Handle) {
        QPDFObjectHandle h = v->qpdfHandle();
        if (!h.isArray() || h.getArrayNItems() != count) return false;
        for (int i = 0; i < count; ++i) {
            QPDFObjectHandle item = h.getArrayItem(i);
            if (!item.isNumber()) return false;
            out[i] = item.getNumericValue();
        }
        return true;
    }
    if (v->kind() != Value::Kind::Array || static_cast<int>(v->items().size()) != count) return false;
    for (int i = 0; i < count; ++i) {
        const Value& item = v->items()[static_cast<size_t>(i)];
        if (item.kind() == Value::Kind::Real)
            out[i] = item.realValue();
        else if (item.kind() == Value::Kind::Integer)
            out[i] = static_cast<double>(item.intValue());
        else
            return false;
    }
    return true;
}

// The box and matrix of an appearance, from our own object or the template's stream.
bool boxOf(const Value& dict, double bbox[4], double matrix[6]) {
    double raw[4];
    if (!numbersOf(dict.find("BBox"), raw, 4)) return false;
    bbox[0] = std::min(raw[0], raw[2]);
    bbox[1] = std::min(raw[1], raw[3]);
    bbox[2] = std::max(raw[0], raw[2]);
    bbox[3] = std::max(raw[1], raw[3]);
    const Value* m = dict.find("Matrix");
    if (m && !numbersOf(m, matrix, 6)) return false;
    return true;
}

// A resolved dictionary as a value of ours (empty when it is none).
Value dictOf(QPDFObjectHandle h) { return h.isDictionary() ? Value::dictFrom(h) : Value::dict(); }

// Appends the page's content streams (a stream or an array of them) as references.
void appendContents(Value& array, QPDFObjectHandle contents) {
    if (contents.isStream()) {
        array.items().push_back(Value::handle(contents));
        return;
    }
    if (!contents.isArray()) return;
    for (auto item : contents.aitems())
        if (item.isStream()) array.items().push_back(Value::handle(item));
}

}  // namespace

std::shared_ptr<State> burnIn(const State& s) {
    auto b = std::make_shared<State>();
    const Template& t = *s.tpl;
    b->tpl = s.tpl;
    b->added = s.added;
    b->burned = true;
    b->changed = true;
    b->pageAnnots.assign(s.pageAnnots.size(), {});
    b->annotsChanged.assign(s.pageAnnots.size(), 0);
    // Only pages and the catalog stay reachable; the widgets and fields go with the form.
    for (const auto& [num, rep] : s.replaced)
        if (rep.kind == Replacement::Kind::Page || rep.kind == Replacement::Kind::Catalog)
            b->replaced.emplace(num, rep);

    int openQ = -1;
    int counter = 0;
    for (size_t page = 0; page < s.pageAnnots.size(); ++page) {
        const TemplatePage& tp = t.pages[page];
        Value pageDict = s.currentDict(tp.og);
        if (s.pageAnnots[page].empty() && !pageDict.find("Annots")) continue;

        std::string draw = "Q\n";
        Value xobjects = Value::dict();
        for (const AnnotRef& ref : s.pageAnnots[page]) {
            double rect[4];
            Value apDict;
            Value apRef;
            if (ref.tpl >= 0) {
                const TemplateAnnot& a = t.annots[static_cast<size_t>(ref.tpl)];
                if ((a.flags & (kAnnotHidden | kAnnotNoView)) || a.subtype == "Popup") continue;
                std::copy(a.rect, a.rect + 4, rect);
                auto fill = s.fills.find(ref.tpl);
                int own = -1;
                QPDFObjectHandle stream;
                if (fill != s.fills.end() && fill->second.button && a.button) {
                    // A button we set shows the appearance of its state now, ours or the form's.
                    const WidgetFill& f = fill->second;
                    bool on = f.state != "Off";
                    if (f.offObj >= 0)
                        own = on ? f.apObj : f.offObj;
                    else
                        stream = on ? a.button->onAppearance : a.button->offAppearance;
                } else if (fill != s.fills.end() && fill->second.apObj >= 0) {
                    own = fill->second.apObj;
                } else {
                    stream = normalAppearance(a.dict);
                }
                if (own >= 0) {
                    apDict = s.added[static_cast<size_t>(own)]->dict;
                    apRef = Value::newRef(own);
                } else {
                    if (!stream.isInitialized() || !stream.isStream()) continue;
                    apDict = Value::dictFrom(stream.getDict());
                    apRef = Value::handle(stream);
                }
            } else {
                const FreeText& ft = s.freeTexts[static_cast<size_t>(ref.freeText)];
                if (ft.apObj < 0) continue;
                const PDFRect& r = ft.props.bounds;
                rect[0] = r.x;
                rect[1] = r.y;
                rect[2] = r.x + r.width;
                rect[3] = r.y + r.height;
                apDict = s.added[static_cast<size_t>(ft.apObj)]->dict;
                apRef = Value::newRef(ft.apObj);
            }
            double bbox[4], matrix[6] = {1, 0, 0, 1, 0, 0};
            if (!boxOf(apDict, bbox, matrix)) continue;
            Placement p = place(bbox, matrix, rect);
            if (!p.ok) continue;
            std::string name = "QVB" + std::to_string(++counter);
            xobjects.set(name, std::move(apRef));
            draw += "q ";
            for (double v : p.m) {
                appendReal(draw, v);
                draw += ' ';
            }
            draw += "cm /";
            draw += name;
            draw += " Do Q\n";
        }

        pageDict.remove("Annots");
        if (!xobjects.entries().empty()) {
            if (openQ < 0) openQ = b->addObject(NewObject{Value::dict(), std::string("q\n")});
            int drawObj = b->addObject(NewObject{Value::dict(), std::move(draw)});
            Value contents = Value::array({Value::newRef(openQ)});
            QPDFObjectHandle original = tp.dict.getKey("/Contents");
            appendContents(contents, original);
            contents.items().push_back(Value::newRef(drawObj));
            pageDict.set("Contents", std::move(contents));

            Value resources = dictOf(tp.resources);
            const Value* existing = resources.find("XObject");
            Value merged =
                existing && existing->kind() == Value::Kind::Handle ? dictOf(existing->qpdfHandle()) : Value::dict();
            for (const auto& [name, ref] : xobjects.entries()) merged.set(name, ref);
            resources.set("XObject", std::move(merged));
            pageDict.set("Resources", std::move(resources));
        }
        Replacement r;
        r.kind = Replacement::Kind::Page;
        r.og = tp.og;
        r.dict = std::move(pageDict);
        b->replaced[tp.og.getObj()] = std::move(r);
    }

    Value root = s.currentDict(t.rootOg);
    if (root.find("AcroForm")) {
        root.remove("AcroForm");
        Replacement r;
        r.kind = Replacement::Kind::Catalog;
        r.og = t.rootOg;
        r.dict = std::move(root);
        b->replaced[t.rootOg.getObj()] = std::move(r);
    }
    return b;
}

}  // namespace qvpdf::detail
