// Parses arbitrary bytes; when the parse succeeds, the written form must read
// back to the same tree. Parsed again with every other child of the document
// element taken by a handler as it closes, the taken and the kept children put
// back together must be the same tree, and the result the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "xml/xmlnode.h"
#include "xml/xmlparser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto node = std::make_shared<qv::XMLNode>();
    const bool failed = qv::XMLParser::parse(text, *node);
    const std::string written = node->toString();
    auto copy = node->getCopy();
    if (copy->toString() != written) std::abort();
    // The children offered, in order; those taken are kept here, the others
    // stay in the root, after which only a child never closed can follow.
    std::vector<qv::XMLNodePtr> offered;
    std::vector<bool> taken;
    qv::XMLNode rest;
    const bool failedTaking =
        qv::XMLParser::parse(text, rest, [&](const qv::XMLNodePtr& child) {
            const bool take = offered.size() % 2 == 0;
            offered.push_back(take ? child : nullptr);
            taken.push_back(take);
            return take;
        });
    if (failedTaking != failed || rest.name != node->name || rest.Value != node->Value) std::abort();
    qv::XMLNode whole(rest.name, rest.Value);
    std::int32_t kept = 0;
    for (std::size_t i = 0; i < offered.size(); ++i) {
        if (taken[i]) {
            whole.addNode(offered[i]);
        } else {
            if (kept >= rest.getNumberOfNodes()) std::abort();
            whole.addNode(rest.getNodeAt(kept++));
        }
    }
    for (; kept < rest.getNumberOfNodes(); ++kept) whole.addNode(rest.getNodeAt(kept));
    if (whole.toString() != written) std::abort();

    if (!failed) {
        auto again = std::make_shared<qv::XMLNode>();
        if (qv::XMLParser::parse(written, *again)) std::abort();
        if (again->toString() != written) std::abort();
    }
    return 0;
}
