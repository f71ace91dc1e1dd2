#include "platform/Json.h"

#include <nlohmann/json.hpp>

struct QVJson::Value {
    nlohmann::ordered_json json;
};

QVJson::QVJson() : value_(std::make_unique<Value>()) {}
QVJson::QVJson(std::nullptr_t) : QVJson() {}
QVJson::QVJson(const std::string& text) : value_(std::make_unique<Value>(Value{text})) {}
QVJson::QVJson(const char* text) : value_(std::make_unique<Value>(Value{std::string(text)})) {}
QVJson::QVJson(bool value) : value_(std::make_unique<Value>(Value{value})) {}
QVJson::QVJson(int value) : value_(std::make_unique<Value>(Value{value})) {}
QVJson::QVJson(int64_t value) : value_(std::make_unique<Value>(Value{value})) {}
QVJson::QVJson(uint64_t value) : value_(std::make_unique<Value>(Value{value})) {}
QVJson::QVJson(double value) : value_(std::make_unique<Value>(Value{value})) {}
QVJson::QVJson(const QVJson& other) : value_(std::make_unique<Value>(*other.value_)) {}
QVJson::QVJson(QVJson&& other) noexcept : value_(std::move(other.value_)) {}
QVJson& QVJson::operator=(QVJson other) noexcept {
    value_ = std::move(other.value_);
    return *this;
}
QVJson::~QVJson() = default;

QVJson QVJson::object() {
    QVJson out;
    out.value_->json = nlohmann::ordered_json::object();
    return out;
}

QVJson QVJson::array() {
    QVJson out;
    out.value_->json = nlohmann::ordered_json::array();
    return out;
}

void QVJson::set(const std::string& key, QVJson value) { value_->json[key] = std::move(value.value_->json); }

void QVJson::push_back(QVJson value) { value_->json.push_back(std::move(value.value_->json)); }

std::optional<std::string> QVJson::dump() const {
    try {
        return value_->json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
    } catch (const nlohmann::ordered_json::exception&) {
        return std::nullopt;
    }
}
