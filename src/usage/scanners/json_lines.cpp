#include "usage/scanners/json_lines.h"

#include "usage/scanners/json_line_dom.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <limits>

namespace tandrel {

struct JsonLineParser::Impl {
  simdjson::dom::parser parser;
};

namespace {

QJsonValue toJsonValue(simdjson::dom::element element);

QJsonObject toJsonObject(simdjson::dom::object object) {
  QJsonObject result;
  for (const auto field : object) {
    const std::string_view key = field.key;
    // A key repeated within one object keeps its last value, as QJsonDocument does.
    result.insert(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())), toJsonValue(field.value));
  }
  return result;
}

QJsonValue toJsonValue(simdjson::dom::element element) {
  switch (element.type()) {
    case simdjson::dom::element_type::OBJECT: {
      simdjson::dom::object object;
      if (element.get_object().get(object) != simdjson::SUCCESS) {
        break;
      }
      return toJsonObject(object);
    }
    case simdjson::dom::element_type::ARRAY: {
      simdjson::dom::array items;
      if (element.get_array().get(items) != simdjson::SUCCESS) {
        break;
      }
      QJsonArray array;
      for (const simdjson::dom::element item : items) {
        array.append(toJsonValue(item));
      }
      return array;
    }
    case simdjson::dom::element_type::STRING: {
      const std::string_view text = element.get_string().value_unsafe();
      return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case simdjson::dom::element_type::INT64:
      return QJsonValue(static_cast<qint64>(element.get_int64().value_unsafe()));
    case simdjson::dom::element_type::UINT64: {
      const std::uint64_t value = element.get_uint64().value_unsafe();
      if (value <= static_cast<std::uint64_t>(std::numeric_limits<qint64>::max())) {
        return QJsonValue(static_cast<qint64>(value));
      }
      return QJsonValue(static_cast<double>(value));
    }
    case simdjson::dom::element_type::DOUBLE:
      return QJsonValue(element.get_double().value_unsafe());
    case simdjson::dom::element_type::BOOL:
      return QJsonValue(element.get_bool().value_unsafe());
    case simdjson::dom::element_type::NULL_VALUE:
      break;
  }
  return QJsonValue(QJsonValue::Null);
}

}  // namespace

JsonLineParser::JsonLineParser() : impl_(std::make_unique<Impl>()) {
#ifdef SIMDJSON_THREADS_ENABLED
  // One line at a time: no helper thread.
  impl_->parser.threaded = false;
#endif
}

JsonLineParser::~JsonLineParser() = default;

std::optional<QJsonObject> JsonLineParser::object(std::string_view text) {
  const auto root = parseJsonLineObject(*this, text, false);
  if (!root) {
    return std::nullopt;
  }
  return toJsonObject(*root);
}

std::optional<simdjson::dom::object> parseJsonLineObject(JsonLineParser& parser, std::string_view text, bool padded) {
  simdjson::dom::element root;
  if (parser.impl().parser.parse(text.data(), text.size(), !padded).get(root) != simdjson::SUCCESS) {
    return std::nullopt;
  }
  simdjson::dom::object object;
  if (root.get_object().get(object) != simdjson::SUCCESS) {
    return std::nullopt;
  }
  return object;
}

std::vector<QJsonObject> jsonObjectsFromLines(std::string_view bytes) {
  std::vector<QJsonObject> objects;
  JsonLineParser parser;
  forEachLine(bytes, [&](std::string_view line) {
    if (auto object = parser.object(line)) {
      objects.push_back(std::move(*object));
    }
  });
  return objects;
}

}  // namespace tandrel
