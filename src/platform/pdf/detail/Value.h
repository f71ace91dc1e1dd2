#pragma once
// PDF values that this layer builds for a document's overlay. Untouched parts of the shared
// template stay QPDF handles, so nothing of the template is ever copied or changed; new
// objects of the overlay are referred to by their index in the overlay.

#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvpdf::detail {

class Value {
public:
    enum class Kind { Null, Bool, Integer, Real, Name, String, Array, Dict, NewRef, Handle, Raw };

    Value() = default;
    static Value boolean(bool b);
    static Value integer(long long n);
    static Value real(double d);
    static Value name(std::string n);  // without the slash, unescaped
    static Value string(std::string bytes);
    static Value array(std::vector<Value> items = {});
    static Value dict();
    static Value newRef(int index);
    static Value handle(QPDFObjectHandle h);
    // PDF syntax written as it stands; it must hold no references.
    static Value raw(std::string syntax);
    static Value rect(const double r[4]);
    static Value numbers(const double* values, int count);
    // A dictionary holding every entry of a template dictionary as a handle.
    static Value dictFrom(QPDFObjectHandle templateDict);

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }

    // Dictionary access; set replaces an existing key.
    void set(const std::string& key, Value v);
    void remove(const std::string& key);
    const Value* find(const std::string& key) const;
    Value* find(const std::string& key);
    const std::vector<std::pair<std::string, Value>>& entries() const { return entries_; }

    std::vector<Value>& items() { return items_; }
    const std::vector<Value>& items() const { return items_; }

    const std::string& text() const { return text_; }
    long long intValue() const { return int_; }
    double realValue() const { return real_; }
    int newIndex() const { return static_cast<int>(int_); }
    const QPDFObjectHandle& qpdfHandle() const { return handle_; }

private:
    Kind kind_ = Kind::Null;
    long long int_ = 0;
    double real_ = 0;
    std::string text_;
    std::vector<Value> items_;
    std::vector<std::pair<std::string, Value>> entries_;
    QPDFObjectHandle handle_;
};

// Where references go when values are written out: an object number and generation for a
// template object (or null when the reference must be dropped) and for an overlay object.
struct RefMapper {
    std::function<std::optional<QPDFObjGen>(QPDFObjGen)> templateRef;
    std::function<int(int)> newRef;
};

// Appends PDF syntax. Without a templateRef mapping, template handles are written as QPDF
// unparses them ("n g R" for indirect ones), which is what an incremental update needs.
void writeValue(std::string& out, const Value& v, const RefMapper* mapper);
void writeHandle(std::string& out, QPDFObjectHandle h, const RefMapper* mapper);

void appendInt(std::string& out, long long n);
void appendReal(std::string& out, double d);
void appendName(std::string& out, std::string_view name);
void appendLiteralString(std::string& out, std::string_view bytes);

// A PDF text string for UTF-8 text: plain bytes when the text is printable ASCII, otherwise
// UTF-16BE with a byte order mark. Invalid UTF-8 sequences become U+FFFD.
std::string pdfTextString(std::string_view utf8);

}  // namespace qvpdf::detail
