#pragma once
// JSON documents built member by member and written out, for the layers above platform/ (the
// processing log), so that only this layer includes the JSON library. Objects keep their
// members in the order they were first set.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QVJson {
public:
    QVJson();  // null
    QVJson(std::nullptr_t);
    QVJson(const std::string& text);
    QVJson(const char* text);
    QVJson(bool value);
    QVJson(int value);
    QVJson(int64_t value);
    QVJson(uint64_t value);
    QVJson(double value);
    QVJson(const QVJson& other);
    QVJson(QVJson&& other) noexcept;
    QVJson& operator=(QVJson other) noexcept;
    ~QVJson();

    static QVJson object();
    static QVJson array();

    // Sets the member `key` of an object (a null value becomes an object); a member set again
    // keeps its place.
    void set(const std::string& key, QVJson value);
    // Appends to an array (a null value becomes an array).
    void push_back(QVJson value);

    // The document with two spaces of indentation; nothing when a text in it is not UTF-8.
    [[nodiscard]] std::optional<std::string> dump() const;

private:
    struct Value;
    std::unique_ptr<Value> value_;
};
