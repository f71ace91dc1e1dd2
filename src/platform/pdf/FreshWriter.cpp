// A new PDF file from pages of any documents (combined output). Objects of a shared template
// are written once however many pages use them; objects that records added are written once
// per distinct content, so identical appearance streams and font subsets are not repeated.

#include <qpdf/Buffer.hh>

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <unordered_map>

#include "platform/pdf/Deflate.h"
#include "platform/pdf/Internal.h"
#include "platform/pdf/ObjectWriter.h"

namespace qvpdf::detail {

namespace {

constexpr size_t kCompressAbove = 64;
// Deeper reference chains are written breadth first, without looking for duplicates.
constexpr int kMaxDepth = 200;

struct ObjKey {
    const void* owner;
    int num;
    int gen;
    bool operator<(const ObjKey& o) const {
        if (owner != o.owner) return std::less<const void*>()(owner, o.owner);
        return num != o.num ? num < o.num : gen < o.gen;
    }
};

class FreshWriter {
public:
    explicit FreshWriter(const std::vector<PageSlot>& slots) : slots_(slots) {}

    std::string write() {
        out_ = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
        offsets_.assign(3, 0);
        std::vector<int> pageIds;
        for (size_t i = 0; i < slots_.size(); ++i) pageIds.push_back(allocate());
        for (size_t i = 0; i < slots_.size(); ++i) {
            writePage(slots_[i], pageIds[i]);
            drain();
        }
        offsets_[1] = out_.size();
        out_ += "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n";
        offsets_[2] = out_.size();
        out_ += "2 0 obj\n<</Type /Pages /Count ";
        appendInt(out_, static_cast<long long>(pageIds.size()));
        out_ += " /Kids [";
        for (int id : pageIds) {
            appendInt(out_, id);
            out_ += " 0 R ";
        }
        out_ += "]>>\nendobj\n";
        int info = writeInfo();
        writeXref(info);
        return std::move(out_);
    }

private:
    struct Context {
        const State* state;
        int page;    // page index within the state
        int pageId;  // its object number here
    };
    struct Pending {
        Context ctx;
        QPDFObjGen og;
        bool replaced;
        int id;
    };

    int allocate() {
        offsets_.push_back(0);
        return static_cast<int>(offsets_.size()) - 1;
    }

    RefMapper mapperFor(const Context& ctx) {
        RefMapper m;
        m.templateRef = [this, ctx](QPDFObjGen og) -> std::optional<QPDFObjGen> {
            int id = templateRef(ctx, og);
            if (id <= 0) return std::nullopt;
            return QPDFObjGen(id, 0);
        };
        m.newRef = [this, ctx](int index) { return newRef(ctx, index); };
        return m;
    }

    // Pages and the page tree are this file's own: a reference to the page being written
    // stays (an annotation's /P), any other page or tree node is dropped, so that copying one
    // page never drags the rest of its document along.
    int templateRef(const Context& ctx, QPDFObjGen og) {
        const Template& t = *ctx.state->tpl;
        auto page = t.pageByOg.find(og);
        if (page != t.pageByOg.end()) return page->second == ctx.page ? ctx.pageId : 0;
        if (og == t.rootOg || t.pageTreeNodes.count(og)) return 0;
        bool replaced = ctx.state->replaced.count(og.getObj()) > 0;
        // Replaced objects are the state's own; the rest belong to the template. Identical
        // objects of different templates (a record's output parsed anew) are written once too.
        ObjKey key{replaced ? static_cast<const void*>(ctx.state) : static_cast<const void*>(&t),
                   og.getObj(), og.getGen()};
        auto found = ids_.find(key);
        if (found != ids_.end()) {
            if (found->second == 0) found->second = allocate();  // a cycle: number it now
            return found->second;
        }
        if (depth_ >= kMaxDepth) {
            int id = allocate();
            ids_.emplace(key, id);
            pending_.push_back(Pending{ctx, og, replaced, id});
            return id;
        }
        ids_.emplace(key, 0);
        ++depth_;
        std::string body;
        writeBody(body, ctx, og, replaced);
        --depth_;
        return finish(ids_[key], body);
    }

    // Gives the object its number: the one of an identical object written before, or a new
    // one. An object numbered early (inside a cycle) keeps its number.
    int finish(int& id, const std::string& body) {
        if (id != 0) {
            emit(id, body, nullptr);
            return id;
        }
        size_t hash = std::hash<std::string_view>{}(body);
        auto& candidates = bodies_[hash];
        for (const auto& [offset, length, existing] : candidates) {
            if (length == body.size() && std::memcmp(out_.data() + offset, body.data(), length) == 0) {
                id = existing;
                return id;
            }
        }
        id = allocate();
        emit(id, body, &candidates);
        return id;
    }

    void writeBody(std::string& body, const Context& ctx, QPDFObjGen og, bool replaced) {
        RefMapper m = mapperFor(ctx);
        if (replaced)
            writeObjectBody(body, ctx.state->currentDict(og), nullptr, &m);
        else
            writeTemplateBody(body, ctx.state->tpl->qpdf->getObjectByObjGen(og), m);
    }

    int newRef(const Context& ctx, int index) {
        auto key = std::make_pair(static_cast<const void*>(ctx.state), index);
        auto found = newIds_.find(key);
        if (found != newIds_.end()) {
            // A cycle among new objects: give the one in progress its number now.
            if (found->second == 0) found->second = allocate();
            return found->second;
        }
        newIds_.emplace(key, 0);
        const NewObject& obj = *ctx.state->added[static_cast<size_t>(index)];
        std::string body;
        RefMapper m = mapperFor(ctx);
        if (obj.stream && obj.stream->size() > kCompressAbove && !obj.dict.find("Filter")) {
            // A combined file holds thousands of these; compressed they take a third.
            Value dict = obj.dict;
            dict.set("Filter", Value::name("FlateDecode"));
            std::string data = deflateBytes(*obj.stream);
            writeObjectBody(body, dict, &data, &m);
        } else {
            writeObjectBody(body, obj.dict, obj.stream ? &*obj.stream : nullptr, &m);
        }
        return finish(newIds_[key], body);
    }

    void emit(int id, const std::string& body, std::vector<std::tuple<size_t, size_t, int>>* candidates) {
        offsets_[static_cast<size_t>(id)] = out_.size();
        appendInt(out_, id);
        out_ += " 0 obj\n";
        if (candidates) candidates->emplace_back(out_.size(), body.size(), id);
        out_ += body;
    }

    void writePage(const PageSlot& slot, int pageId) {
        const State& s = *slot.frozen;
        const TemplatePage& tp = s.tpl->pages[static_cast<size_t>(slot.page)];
        Context ctx{&s, slot.page, pageId};
        Value page = s.currentDict(tp.og);
        for (const char* key : {"Parent", "Annots", "B"}) page.remove(key);
        page.set("Parent", Value::raw("2 0 R"));
        if (!page.find("Resources") && tp.resources.isInitialized() && !tp.resources.isNull())
            page.set("Resources", Value::handle(tp.resources));
        if (!page.find("MediaBox")) {
            if (tp.mediaBox.isArray()) {
                page.set("MediaBox", Value::handle(tp.mediaBox));
            } else {
                const double letter[4] = {0, 0, 612, 792};
                page.set("MediaBox", Value::rect(letter));
            }
        }
        if (!page.find("CropBox") && tp.cropBox.isArray()) page.set("CropBox", Value::handle(tp.cropBox));
        if (!page.find("Rotate") && tp.rotate.isNumber()) page.set("Rotate", Value::handle(tp.rotate));
        const auto& refs = s.pageAnnots[static_cast<size_t>(slot.page)];
        if (!refs.empty()) {
            // Annotations belong to one page each: they are written per copy.
            Value annots = Value::array();
            for (const AnnotRef& ref : refs) {
                if (ref.tpl >= 0) {
                    QPDFObjGen og = s.tpl->annots[static_cast<size_t>(ref.tpl)].og;
                    int id = allocate();
                    pending_.push_back(Pending{ctx, og, true, id});
                    annots.items().push_back(Value::raw(std::to_string(id) + " 0 R"));
                } else {
                    annots.items().push_back(Value::newRef(s.freeTexts[static_cast<size_t>(ref.freeText)].annotObj));
                }
            }
            page.set("Annots", std::move(annots));
        }
        // New objects it refers to are written while it is serialised, so it goes out after.
        RefMapper m = mapperFor(ctx);
        std::string body;
        writeObjectBody(body, page, nullptr, &m);
        emit(pageId, body, nullptr);
    }

    void drain() {
        while (!pending_.empty()) {
            Pending p = pending_.front();
            pending_.pop_front();
            std::string body;
            writeBody(body, p.ctx, p.og, p.replaced);
            emit(p.id, body, nullptr);
        }
    }

    void writeTemplateBody(std::string& body, QPDFObjectHandle h, const RefMapper& m) {
        if (!h.isStream()) {
            if (h.isDictionary()) {
                body += "<<";
                for (auto& [key, item] : h.ditems()) {
                    if (item.isNull()) continue;
                    appendName(body, std::string_view(key).substr(1));
                    body += ' ';
                    writeHandle(body, item, &m);
                }
                body += ">>";
            } else if (h.isArray()) {
                body += '[';
                for (auto item : h.aitems()) {
                    writeHandle(body, item, &m);
                    body += ' ';
                }
                body += ']';
            } else if (h.isName()) {
                appendName(body, std::string_view(h.getName()).substr(1));
            } else {
                body += h.unparseResolved();
            }
            body += "\nendobj\n";
            return;
        }
        auto data = h.getRawStreamData();
        body += "<<";
        for (auto& [key, item] : h.getDict().ditems()) {
            if (key == "/Length" || item.isNull()) continue;
            appendName(body, std::string_view(key).substr(1));
            body += ' ';
            writeHandle(body, item, &m);
        }
        body += "/Length ";
        appendInt(body, static_cast<long long>(data->getSize()));
        body += ">>\nstream\n";
        body.append(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
        body += "\nendstream\nendobj\n";
    }

    // The combined file is still the template's document: it keeps its title and author.
    int writeInfo() {
        for (const PageSlot& slot : slots_) {
            QPDFObjectHandle info = slot.frozen->tpl->trailer.getKey("/Info");
            if (!info.isDictionary()) continue;
            Value dict = Value::dict();
            for (const char* key : {"Title", "Author"}) {
                QPDFObjectHandle item = info.getKey(std::string("/") + key);
                if (item.isString()) dict.set(key, Value::string(item.getStringValue()));
            }
            if (dict.entries().empty()) continue;
            int id = allocate();
            std::string body;
            writeObjectBody(body, dict, nullptr, nullptr);
            emit(id, body, nullptr);
            return id;
        }
        return 0;
    }

    void writeXref(int info) {
        size_t xref = out_.size();
        out_ += "xref\n0 ";
        appendInt(out_, static_cast<long long>(offsets_.size()));
        out_ += "\n0000000000 65535 f\r\n";
        char line[24];
        for (size_t i = 1; i < offsets_.size(); ++i) {
            std::snprintf(line, sizeof line, "%010llu 00000 n\r\n", static_cast<unsigned long long>(offsets_[i]));
            out_ += line;
        }
        size_t h = std::hash<std::string_view>{}(out_);
        char id[40];
        std::snprintf(id, sizeof id, "%016zx%016zx", h, h ^ offsets_.size());
        out_ += "trailer\n<</Size ";
        appendInt(out_, static_cast<long long>(offsets_.size()));
        out_ += " /Root 1 0 R";
        if (info > 0) {
            out_ += " /Info ";
            appendInt(out_, info);
            out_ += " 0 R";
        }
        out_ += " /ID [<";
        out_ += id;
        out_ += "><";
        out_ += id;
        out_ += ">]>>\nstartxref\n";
        appendInt(out_, static_cast<long long>(xref));
        out_ += "\n%%EOF\n";
    }

    const std::vector<PageSlot>& slots_;
    std::string out_;
    std::vector<size_t> offsets_;
    std::deque<Pending> pending_;
    std::map<ObjKey, int> ids_;
    int depth_ = 0;
    std::map<std::pair<const void*, int>, int> newIds_;
    std::unordered_map<size_t, std::vector<std::tuple<size_t, size_t, int>>> bodies_;
};

}  // namespace

std::optional<std::string> writeFresh(const std::vector<PageSlot>& slots) {
    for (const PageSlot& slot : slots)
        if (!slot.frozen) return std::nullopt;
    FreshWriter writer(slots);
    return writer.write();
}

}  // namespace qvpdf::detail
