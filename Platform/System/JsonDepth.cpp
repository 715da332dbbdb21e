#include "Platform/System/JsonDepth.hpp"

namespace platform {

bool jsonDepthWithin(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;  // the escaped character can be a quote
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
            case '"': inString = true; break;
            case '[':
            case '{':
                if (++depth > limit) return false;
                break;
            case ']':
            case '}':
                if (depth > 0) --depth;  // unbalanced text is the parser's to reject
                break;
            default: break;
        }
    }
    return true;
}

}  // namespace platform
