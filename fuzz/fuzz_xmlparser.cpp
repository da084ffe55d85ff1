// Parses arbitrary bytes; when the parse succeeds, the written form must read
// back to the same tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "xml/xmlnode.h"
#include "xml/xmlparser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto node = std::make_shared<qv::XMLNode>();
    const bool failed = qv::XMLParser::parse(text, *node);
    const std::string written = node->toString();
    auto copy = node->getCopy();
    if (copy->toString() != written) std::abort();
    if (!failed) {
        auto again = std::make_shared<qv::XMLNode>();
        if (qv::XMLParser::parse(written, *again)) std::abort();
        if (again->toString() != written) std::abort();
    }
    return 0;
}
