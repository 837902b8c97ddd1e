#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// Reading JSON-lines text, the form of the agents' transcripts and rollouts. One parser object
// parses one line at a time with simdjson (single-threaded, its buffers reused from line to line);
// a line that is not a JSON object (bad JSON, invalid UTF-8, another type) is skipped, never fatal.
// Readers that want only a few fields of a large file use the parsed root directly
// (json_line_dom.h); everyone else gets QJsonObjects.

namespace tandrel {

class JsonLineParser {
 public:
  JsonLineParser();
  ~JsonLineParser();
  JsonLineParser(const JsonLineParser&) = delete;
  JsonLineParser& operator=(const JsonLineParser&) = delete;

  // The object that one JSON text holds, or nothing when it holds anything else.
  std::optional<QJsonObject> object(std::string_view text);

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// Calls `visit` with each non-empty piece of `bytes` between line feeds, in order.
template <typename Visit>
void forEachLine(std::string_view bytes, Visit&& visit) {
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) {
      end = bytes.size();
    }
    if (end > start) {
      visit(bytes.substr(start, end - start));
    }
    start = end + 1;
  }
}

// The JSON objects of the lines of `bytes`, in order.
std::vector<QJsonObject> jsonObjectsFromLines(std::string_view bytes);

}  // namespace tandrel
