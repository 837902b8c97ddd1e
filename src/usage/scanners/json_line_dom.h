#pragma once

// The parsed root of one JSON line, for the readers that take a few fields out of many large lines
// (the Claude block scan). Only .cpp files include this: simdjson's header is large.

#include "usage/scanners/json_lines.h"

#include <simdjson.h>

#include <optional>
#include <string_view>

namespace tandrel {

// The root object of `text`, valid until the parser's next parse. With `padded` true the caller
// guarantees that simdjson::SIMDJSON_PADDING readable bytes follow the text, and it is parsed in
// place; otherwise it is copied into the parser's own padded buffer first.
std::optional<simdjson::dom::object> parseJsonLineObject(JsonLineParser& parser, std::string_view text,
                                                          bool padded);

}  // namespace tandrel
