// The file-name slug of a topic page, made from the topic name an assistant gives.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvanta {

// Longest slug, in user-perceived characters.
constexpr size_t kMaxTopicSlugLength = 50;

// Lower-cases `topic`, turns each space into "-", keeps letters and numbers of
// every script (by Unicode category) and "-", drops everything else (punctuation,
// symbols, marks, other white space), and keeps the first 50 characters. May be
// empty. "React Hooks: Deep-Dive!" gives "react-hooks-deep-dive".
std::string topicSlug(std::string_view topic);

}  // namespace corvanta
