#pragma once
// Reads XML text into an XMLNode tree: elements and text, tolerating a
// declaration, processing instructions, a document type declaration, comments,
// CDATA sections, the five predefined entities, character references and
// attributes (read and dropped). Reports only success or failure.

#include <string_view>

#include "xml/xmlnode.h"

namespace qv {

class XMLParser {
  public:
    // The document element's name goes to `root`, its text is appended to
    // root.Value and its children to root's children. Nodes built before a
    // failure stay in the tree. True on failure. Works without recursion, so any
    // nesting depth is fine.
    [[nodiscard]] static bool parse(std::string_view xmlString, XMLNode& root);
};

}  // namespace qv
