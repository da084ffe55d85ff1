#pragma once
// Reads XML text into an XMLNode tree: elements and text, tolerating a
// declaration, processing instructions, a document type declaration, comments,
// CDATA sections, the five predefined entities, character references and
// attributes (read and dropped). Reports only success or failure.

#include <functional>
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

    // Called with each child of the document element as soon as its end tag
    // has been read; true means the caller took it, and it is left out of the
    // root. A reader can so handle a long list of elements one at a time
    // instead of holding the whole tree at once.
    using ChildHandler = std::function<bool(const XMLNodePtr& child)>;
    // As above, with each closed child of the document element offered to
    // `takeChild` first. Children still open when the text ends are not offered.
    [[nodiscard]] static bool parse(std::string_view xmlString, XMLNode& root,
                                    const ChildHandler& takeChild);
};

}  // namespace qv
